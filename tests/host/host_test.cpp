// The host library: buffered files (on Windows with the system's side of them), the safe save,
// images in memory, the pixel converter and text.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "faultyfiles.h"
#include "piecemeal.h"
#include "pixcv/convert.h"
#include "qxio/fileexport.h"
#include "testsupport.h"
#include "utl/bufferedfile.h"
#include "utl/byteswap.h"
#include "utl/log.h"
#include "utl/path.h"
#include "utl/safesave.h"
#include "utl/text.h"
#include "utl/threadbudget.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vemra::test {
namespace {

using utl::CBufferedFile;
using utl::ErrorKind;
constexpr std::size_t kBuf = CBufferedFile::kBufferSize;

std::wstring Formatted(const wchar_t* text, ...) {
  std::va_list args;
  va_start(args, text);
  std::wstring formatted = utl::FormatV(text, args);
  va_end(args);
  return formatted;
}

// Written in transfers that meet the buffer's edges (the small ones inline, the large one
// straight from the caller's memory), overwritten in places as a writer completes its header, and
// read back so: the bytes, position and length are kept. Where the test can make it so, the
// system then moves a few bytes a call, as a signal in the middle of a transfer makes it.
TEST(BufferedFile, TransfersAroundTheBufferSize) {
  const std::size_t plan[] = {1, kBuf - 3, 7, 2 * kBuf + 3, 3, kBuf + 1, kBuf - 1, 2};
  Bytes data(5 * kBuf), got(data.size() + 1);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 131 + i / 251);
  TempDir dir;
  for ([[maybe_unused]] const bool piecemeal : {false, true}) {
#if defined(HAVE_PIECEMEAL)
    std::optional<Piecemeal> pieces;
    if (piecemeal) pieces.emplace();
#endif
    for (const char* mode : {"wb", "rb"}) {
      CBufferedFile file;
      file.Open(dir.Wide("f"), mode, utl::ShareNone, false);
      for (std::size_t pos = 0, i = 0; pos < data.size(); ++i) {
        const std::size_t n = plan[(i + (*mode == 'r')) % std::size(plan)];
        const std::size_t done = std::min(n, data.size() - pos);
        if (*mode == 'w') file.Write(data.data() + pos, done);
        const std::size_t read = *mode == 'r' ? file.Read(got.data() + pos, n) : done;
        ASSERT_EQ(read, done);
        pos += done;
        ASSERT_EQ(file.GetPosition(), std::int64_t(pos));
        ASSERT_EQ(file.GetLength(), *mode == 'w' ? std::int64_t(pos) : std::int64_t(data.size()));
      }
      if (*mode == 'w') {
        // Written bytes change in place, in the buffer, in what went to the system, and across
        // both; bytes not written yet are refused, and the position stays at the end.
        const std::int64_t end = file.GetPosition(), buffer = kBuf;
        for (const std::int64_t at :
             {std::int64_t{5}, end - 11, end - buffer + 2, end - 2 * buffer - 1}) {
          for (std::int64_t i = at; i < at + 11; ++i) data[std::size_t(i)] ^= 0x5A;  // new again
          file.Overwrite(at, data.data() + at, 11);
        }
        EXPECT_TRUE(Raised([&] { file.Overwrite(end - 2, data.data(), 3); }));
        EXPECT_TRUE(Raised([&] { file.Overwrite(-1, data.data(), 1); }));
        EXPECT_EQ(file.GetPosition(), end);
      }
#if defined(HAVE_PIECEMEAL)
      if (pieces && *mode == 'w') {  // a byte that went out cannot change: the system's reason
        pieces->FailWritesInPlace(EIO);
        EXPECT_EQ(Raised([&] { file.Overwrite(5, data.data(), 1); }).value().Reason(),
                  utl::ErrnoText(EIO));
        pieces->FailWritesInPlace(0);
        pieces->FailCloses(EIO);  // and one that the file system refuses at close
        EXPECT_EQ(Raised([&] { file.Close(); }).value().Reason(), utl::ErrnoText(EIO));
        pieces->FailCloses(0);
      }
#endif
      EXPECT_EQ(*mode == 'r' ? file.Read(got.data(), 1) : 0u, 0u);
      file.Close();
    }
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
  }
}

// A file that stays closed, or is open the other way, refuses transfers with the host's errors;
// the modes a file opens in.
// (tests/data/cli/cases.txt has missing files, folders and names outside ASCII.)
TEST(BufferedFile, ClosedFilesAndWindowsPaths) {
  CBufferedFile file;
  EXPECT_FALSE(file.OpenNoThrow(L"no-such-file", "rb", utl::ShareRead, false));
  EXPECT_EQ(file.GetPosition() + file.GetLength(), 0);
  std::uint8_t byte = 0;
  EXPECT_EQ(Raised([&] { file.Read(&byte, 1); }).value().Kind(), ErrorKind::FileRead);
  EXPECT_EQ(Raised([&] { file.Write(&byte, 1); }).value().Kind(), ErrorKind::FileWrite);
  TempDir dir;
  file.Open(dir.Wide("f"), "wb", utl::ShareNone, false);
  EXPECT_EQ(Raised([&] { file.Read(&byte, 1); }).value().Message(),
            L"the file is not open for reading");
  file.Close();
  file.Open(dir.Wide("f"), "rb", utl::ShareRead, false);
  EXPECT_EQ(Raised([&] { file.Write(&byte, 1); }).value().Message(),
            L"the file is not open for writing");
  file.Close();
  {  // a file left open is closed by its destructor, its buffered bytes written
    CBufferedFile unclosed;
    unclosed.Open(dir.Wide("f"), "wb", utl::ShareNone, false);
    unclosed.Write("ab", 2);
  }
  EXPECT_EQ(ReadFile(dir / "f"), (Bytes{'a', 'b'}));
  // "wbx" makes a new file only, and leaves one that is there as it was; other modes are refused.
  EXPECT_FALSE(file.OpenNoThrow(dir.Wide("f"), "wbx", utl::ShareNone, false));
  EXPECT_FALSE(file.OpenNoThrow(dir.Wide("f"), "ab", utl::ShareNone, false));
  EXPECT_TRUE(Raised([&] { file.Open(dir.Wide("f"), "ab", utl::ShareNone, false); }));
  EXPECT_TRUE(file.OpenNoThrow(dir.Wide("g"), "wbx", utl::ShareNone, false));
  EXPECT_EQ(ReadFile(dir / "f"), (Bytes{'a', 'b'}));
  WriteFile(dir / "h", {});  // made new as any program does: open to all the umask leaves
  EXPECT_EQ(fs::status(dir / "g").permissions(), fs::status(dir / "h").permissions());
#if defined(_WIN32)
  // A path longer than MAX_PATH, outside ASCII; a file open for reading lets readers in but no
  // writer; the system's own words, without line ends.
  const fs::path deep = dir.Path() / std::wstring(120, L'a') / std::wstring(120, L'b') /
                        fs::u8path("bild-\xC3\xA4-\xE6\x97\xA5-\xF0\x9F\x98\x80.ras");
  fs::create_directories(deep.parent_path());
  file.Open(deep.wstring(), "wb", utl::ShareNone, false);
  file.Close();
  file.Open(deep.wstring(), "rb", utl::ShareRead, false);
  EXPECT_TRUE(CBufferedFile().OpenNoThrow(deep.wstring(), utl::AccessRead, utl::OpenExisting,
                                          utl::ShareRead, false));
  EXPECT_FALSE(CBufferedFile().OpenNoThrow(deep.wstring(), "wb", utl::ShareNone, false));
  const auto error = Raised([&] { file.Open(L"no-such-file", "rb", utl::ShareRead, false); });
  EXPECT_EQ(error.value().Message().find(L"system error"), std::wstring::npos);
  EXPECT_EQ(error->Message().find_first_of(L"\r\n"), std::wstring::npos);
  EXPECT_NE(error->Message().back(), L'.');
#endif
}

// The system's words for a failure reach the error raised, its sentence, and stay with the file
// until it is opened again: a full disk at the flush of Close, broken or refused reads, a save
// whose flush to the disk fails.
TEST(BufferedFile, TheSystemsReasonInTheRaisedError) {
  const std::map<std::string, int> errors = {
      {"ENOSPC", ENOSPC}, {"EIO", EIO}, {"EISDIR", EISDIR}, {"EACCES", EACCES}};
  TempDir dir;
  WriteFile(dir / "f", Bytes(100, 7));
  for (const auto& row : Table("host/reasons.txt")) {
    const char call = row[0][0];
    const std::wstring reason = utl::FromUtf8(row[4]);
    SCOPED_TRACE(row[0]);
    CBufferedFile file;
    utl::CSafeSave save;
    SetFileFaults({std::stoll(row[1]), std::stoll(row[2]), errors.at(row[3]), call == 's'});
    if (call == 's') save.Begin(dir.Wide("f"));
    if (call != 's') file.Open(dir.Wide("f"), call == 'r' ? "rb" : "wb", utl::ShareNone, false);
    SetFileFaults({});
    Bytes data(100);
    const auto error = Raised([&] {
      if (call == 'r') file.Read(data.data(), data.size());
      if (call == 'w') file.Write(data.data(), data.size()), file.Close();
      if (call == 's') save.File().Write(data.data(), 1), save.Commit();
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Kind(), call == 'r' ? ErrorKind::FileRead : ErrorKind::FileWrite);
    EXPECT_EQ(error->Reason(), reason);
    EXPECT_EQ(error->Path(), dir.Wide("f"));
    EXPECT_EQ(error->Sentence(), (call == 'r' ? L"Cannot read '" : L"Cannot write '") +
                                     dir.Wide("f") + L"': " + reason);
    EXPECT_EQ((call == 's' ? save.File() : file).LastSystemError(), reason);
    EXPECT_FALSE(save.File().IsOpen()) << "a failed save holds no file open";
    file.CloseNoThrow(false);
    if (call == 'w') WriteFile(dir / "f", Bytes(100, 7));
    EXPECT_EQ(ReadFile(dir / "f"), Bytes(100, 7));
    file.Open(dir.Wide("f"), "rb", utl::ShareRead, false);
    EXPECT_EQ(file.LastSystemError(), L"") << "none since the file was opened again";
  }
  // Opening another file in place of one whose last bytes cannot go out raises nothing, and
  // says that nothing was opened.
  CBufferedFile full;
  SetFileFaults({-1, 0, ENOSPC, false});
  full.Open(dir.Wide("g"), "wb", utl::ShareNone, false);
  SetFileFaults({});
  full.Write("x", 1);
  EXPECT_FALSE(full.OpenNoThrow(dir.Wide("f"), "rb", utl::ShareRead, false));
}

// A save's file is private to its owner until Commit gives it the target's mode. When the move
// fails after the flush (a folder took the target's place meanwhile; on Windows, another program
// holds the target), the error names the target and nothing of the save remains.
// (tests/data/cli/cases.txt has the rest of the saving cases, the mode of the file before Commit
// among them.)
TEST(SafeSave, PrivateUntilCommittedAndNothingLeftWhenTheMoveFails) {
  TempDir dir;
  WriteFile(dir / "t.ras", {1, 2, 3});
  fs::permissions(dir / "t.ras", fs::perms::others_read, fs::perm_options::remove);
  utl::CSafeSave save;
  save.Begin(dir.Wide("t.ras"));
  save.File().Write("n", 1);
  ASSERT_EQ(dir.List().size(), 2u);
  const fs::perms before = fs::status(dir / "t.ras").permissions();
  save.Commit();
  EXPECT_EQ(fs::status(dir / "t.ras").permissions(), before);
  EXPECT_EQ(ReadFile(dir / "t.ras"), (Bytes{'n'}));

  save.Begin(dir.Wide("t.ras"));
  save.File().Write("newer", 5);
#if defined(_WIN32)
  CBufferedFile holder;  // open without delete sharing: the file cannot be replaced
  holder.Open(dir.Wide("t.ras"), "rb", utl::ShareRead, false);
#else
  fs::remove(dir / "t.ras");
  fs::create_directory(dir / "t.ras");
#endif
  const auto error = Raised([&] { save.Commit(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Path(), dir.Wide("t.ras"));
  EXPECT_FALSE(error->Reason().empty()) << "the system's reason";
  EXPECT_TRUE(fs::exists(dir / "t.ras"));
  // Wine's ReplaceFileW leaves a file of its own (rf*.tmp) where Windows' leaves none.
  for (const std::string& name : dir.List()) EXPECT_NE(name.rfind(".qxio-", 0), 0u) << name;
}

#if !defined(_WIN32)  // where a file open for writing is removed at once, name and all
// A save that has ended, or failed to create its temporary file (in a folder that is not there),
// forgets the file's slot and name: a later file of that name is not removed at a stop, and
// discarding the save again, as its destructor does, leaves armed the temporary file of a save
// begun meanwhile (another worker of a batch), so that an interrupted program still removes it.
// Any number of files can be armed at once (a batch saves on up to 1024 threads), each freed alone.
TEST(SafeSave, AnEndedSaveLeavesALaterOneArmedForRemoval) {
  // A name of 4096 bytes has no room for its NUL in a slot: refused, without costing one; a slot
  // given back is taken again first (in a process of its own, the first slot of all).
  const int slot = utl::ArmRemovalOnStop(std::wstring(4095, L'a'));
  EXPECT_NE(slot, -1);
  utl::DisarmRemovalOnStop(slot);
  EXPECT_EQ(utl::ArmRemovalOnStop(std::wstring(4096, L'a')), -1);
  EXPECT_EQ(utl::ArmRemovalOnStop(std::wstring(4095, L'a')), slot);
  utl::DisarmRemovalOnStop(slot);
  TempDir dir;
  utl::CSafeSave first, failed, second;
  EXPECT_TRUE(Raised([&] { failed.Begin(dir.Wide("missing/c.ras")); }));
  first.Begin(dir.Wide("a.ras"));
  const std::string temporary = dir.List().at(0);  // the save's own file
  first.Commit();
  WriteFile(dir / temporary, {});  // a later file of its name, not armed
  utl::RemoveFilesArmedForStop();  // nothing is: both saves have ended
  // Another program's file under the next serial number is passed over, and left at a stop.
  const std::size_t dash = temporary.rfind('-');
  const std::string taken = temporary.substr(0, dash + 1) +
                            std::to_string(std::stoul(temporary.substr(dash + 1)) + 1) + ".tmp";
  WriteFile(dir / taken, {});
  second.Begin(dir.Wide("b.ras"));  // in the slot that both gave back
  first.Discard();
  failed.Discard();
  std::vector<std::string> left = {temporary, taken, "a.ras"};
  std::vector<int> slots;
  for (int i = 0; i < 1100; ++i) {
    WriteFile(dir / std::to_string(i), {});
    slots.push_back(utl::ArmRemovalOnStop(dir.Wide(std::to_string(i))));
    if (i % 2 == 0) left.push_back(std::to_string(i));  // disarmed before the stop: kept
  }
  for (std::size_t i = 0; i < slots.size(); i += 2) utl::DisarmRemovalOnStop(slots[i]);
  utl::RemoveFilesArmedForStop();
  for (int slot : slots) utl::DisarmRemovalOnStop(slot);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(dir.List(), left);
  // Removing a file tells whether there was one.
  EXPECT_TRUE(utl::RemoveFile(dir.Wide("a.ras")));
  EXPECT_FALSE(utl::RemoveFile(dir.Wide("a.ras"))) << "none left to remove";
}
#endif

#if defined(_WIN32)
// A read-only file is refused before anything is written; a replaced file keeps its attributes.
TEST(SafeSave, WindowsReadOnlyRefusedAttributesKept) {
  TempDir dir;
  WriteFile(dir / "read-only.ras", {1});
  WriteFile(dir / "system.ras", {1});
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ::SetFileAttributesW(dir.Wide("read-only.ras").c_str(), FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesW(dir.Wide("system.ras").c_str(), kept);
  utl::CSafeSave save;
  EXPECT_EQ(Raised([&] { save.Begin(dir.Wide("read-only.ras")); }).value().Path(),
            dir.Wide("read-only.ras"));
  EXPECT_EQ(dir.List().size(), 2u);
  save.Begin(dir.Wide("system.ras"));
  save.File().Write("ab", 2);
  save.Commit();
  EXPECT_EQ(ReadFile(dir / "system.ras"), (Bytes{'a', 'b'}));
  EXPECT_EQ(::GetFileAttributesW(dir.Wide("system.ras").c_str()) & kept, kept);
  ::SetFileAttributesW(dir.Wide("read-only.ras").c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

// Each row of tests/data/host/paths.txt that holds on this system.
TEST(Path, FolderNameAndExtension) {
#if defined(_WIN32)
  const std::string system = "windows";
#else
  const std::string system = "posix";
#endif
  for (const auto& row : Table("host/paths.txt")) {
    if (row[0] != "any" && row[0] != system) continue;
    const utl::CPath parts(utl::FromUtf8(row[1]));
    EXPECT_EQ(utl::ToUtf8(parts.GetFolder() + L"|" + parts.GetName() + L"|" + parts.GetExtension()),
              row[2] + "|" + row[3] + "|" + row[4]);
    EXPECT_EQ(parts.GetNameAndExtension(), utl::FromUtf8(row[1].substr(row[2].size())));
  }
}

// An image never described is 0 x 0 pixels of no format. Rows zero until set, refused outside
// the image; at most 256 table entries, black past them, also when a shorter table replaces a
// longer one; no more than 2^30 pixels by default, none of a negative size or unknown format.
TEST(Image, RowsTableAndRefusals) {
  RGBQUAD table[300] = {};
  table[255].rgbBlue = table[256].rgbBlue = 9;
  table[1].rgbRed = 5;
  qxio::TrImage image;
  EXPECT_EQ(image.GetWidth() | image.GetHeight() | image.GetColorFormat(), 0);
  image.SetScanlineStart(1, 1, utl::Gray8, 0, 0, nullptr, qxio::RowAccessByIndex, 0, nullptr);
  image.SetScanline(table, 0);  // forgotten when the image is described anew
  image.SetScanlineStart(9, 3, utl::Indexed1, 0, 0, table, qxio::RowAccessByIndex, 300, nullptr);
  EXPECT_EQ(image.GetNumColorTableEntriesUsed(), 256u);
  const Bytes row = {0xAB, 0xCD};
  image.SetScanline(row.data(), 1);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(Bytes(image.Row(y), image.Row(y) + 2), y == 1 ? row : Bytes(2));
  }
  for (int y : {-1, 3, INT_MIN}) {
    EXPECT_TRUE(Raised([&] { image.SetScanline(row.data(), y); }));
    EXPECT_TRUE(Raised([&] { image.GetScanline(Bytes(2).data(), y); }));
    EXPECT_EQ(image.Row(y), nullptr);
  }
  RGBQUAD out[2];
  image.GetColorTable(out, 255, 2);  // entry 255 kept, entry 256 black
  EXPECT_EQ(std::make_tuple(out[0].rgbBlue, out[1].rgbBlue), std::make_tuple(9, 0));
  EXPECT_EQ((image.SetScanlineEnd(table, 300), image.GetNumColorTableEntriesUsed()), 256u);
  image.SetScanlineEnd(table + 255, 1);  // a shorter table replaces all of the old one
  image.GetColorTable(out, 0, 2);        // entry 0 from the new table, entry 1 black
  EXPECT_EQ(std::make_tuple(out[0].rgbBlue, out[1].rgbRed), std::make_tuple(9, 0));
  // Moved, the image leaves behind one never described: no size, rows, table or rows set.
  const qxio::TrImage moved = std::move(image);
  EXPECT_EQ(std::make_tuple(moved.RowBytes(), moved.GetNumColorTableEntriesUsed(), moved.RowsSet()),
            std::make_tuple(2u, 1u, 1));
  EXPECT_EQ(image.GetWidth() | image.GetHeight() | image.GetColorFormat() | image.RowsSet(), 0);
  EXPECT_EQ(image.RowBytes() + image.GetNumColorTableEntriesUsed(), 0u);
  // A negative side is refused as such, also where the other is 0 and no pixel is claimed.
  const int refused[][3] = {{32768, 32769, 1}, {-1, 1, 3}, {1, -1, 3}, {-1, 0, 3},
                            {0, -1, 3},        {1, 1, 0},  {1, 1, 13}};
  for (const auto& s : refused) {  // width, height, format
    qxio::TrImage other;
    const auto error = Raised([&] {
      other.SetScanlineStart(s[0], s[1], utl::ColorFormat(s[2]), 0, 0, nullptr,
                             qxio::RowAccessByIndex, 0, nullptr);
    });
    EXPECT_EQ(error.value().Kind(), s[0] > 1 ? ErrorKind::ImageTooLarge : ErrorKind::General)
        << s[0] << " x " << s[1] << ", format " << s[2];
  }
}

// Each row of tests/data/convert.txt: the converter writes exactly the row, and nothing past
// it; an image of the format has rows of that many bytes (a table's size without a table is
// harmless). Refusals, and a row of no pixels, write nothing; a host's value of the other byte
// order reverses in place.
TEST(PixelConvert, EveryFormatToBgr24AndByteSwap) {
  RGBQUAD palette[256];
  for (int i = 0; i < 256; ++i) palette[i] = {std::uint8_t(i), std::uint8_t(255 - i), 7, 0};
  for (const auto& row : Table("convert.txt")) {
    std::istringstream head(row[0]);
    std::string name;
    int width = 0;
    head >> name >> width;
    // the row; the BGR bytes, then 4 that must stay as they are
    Bytes parts[2] = {FromHex(row[1]), FromHex(row[2])};
    const utl::ColorFormat format = ColorFormatNamed(name);
    Bytes dst(parts[1].size() + 4, 0xEE);
    parts[1].insert(parts[1].end(), 4, 0xEE);
    EXPECT_TRUE(pixcv::SimplePixelConvert(width, parts[0].data(), format, dst.data(), utl::BGR24, 0,
                                          palette, false))
        << row[0];
    EXPECT_EQ(dst, parts[1]) << row[0];
    qxio::TrImage image;  // a host fills an image of the format with rows of these bytes
    image.SetScanlineStart(width, 1, format, 0, 0, nullptr, qxio::RowAccessByIndex, 2, nullptr);
    EXPECT_EQ(image.RowBytes(), parts[0].size()) << row[0];
  }
  Bytes dst(8, 0xEE);
  for (auto [from, to, table] : {std::tuple{utl::Indexed8, utl::BGR24, (const RGBQUAD*)nullptr},
                                 {utl::ColorFormatUnknown, utl::BGR24, palette},
                                 {utl::Gray8, utl::Gray8, palette}}) {
    EXPECT_FALSE(pixcv::SimplePixelConvert(2, palette, from, dst.data(), to, 0, table, false));
  }
  EXPECT_FALSE(pixcv::SimplePixelConvert(-1, palette, utl::Gray8, dst.data(), utl::BGR24, 0,
                                         nullptr, false));
  EXPECT_TRUE(
      pixcv::SimplePixelConvert(0, palette, utl::Gray8, dst.data(), utl::BGR24, 0, nullptr, false));
  EXPECT_EQ(dst, Bytes(8, 0xEE));
  dst[0] = 1, utl::ByteSwap(dst.data(), 3);
  EXPECT_EQ(dst, (Bytes{0xEE, 0xEE, 1, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

// The sentence a host shows for each kind of error, each row of tests/data/host/sentences.txt.
TEST(Error, TheSentenceOfEachKind) {
  const std::string kinds[] = {"EndBeforeBegin", "Internal", "UnknownFormat", "UnexpectedEof",
                               "FileOpen",       "FileRead", "FileWrite",     "NotImplemented",
                               "ImageTooLarge",  "General"};
  for (const auto& row : Table("host/sentences.txt")) {
    const auto kind = ErrorKind(std::find(kinds, std::end(kinds), row[0]) - kinds);
    const utl::CError error(kind, L"src/f.cpp", 7, L"\u00E4.ras", utl::FromUtf8(row[1]));
    EXPECT_EQ(error.Sentence(), utl::FromUtf8(row[2]));
    EXPECT_EQ(error.what(), row[2]);
  }
  // What a filter logs of an exception it caught: the host's sentence, the message, or the fact.
  const auto describe = [](const std::function<void()>& raise) {
    try {
      raise();
    } catch (...) {
      return utl::DescribeCurrentException();
    }
    return std::wstring();
  };
  EXPECT_EQ(describe([] { throw utl::CError(ErrorKind::FileOpen, L"f.cpp", 7, L"a.ras", L""); }),
            L"Cannot open 'a.ras'.");
  EXPECT_EQ(describe([] { throw std::runtime_error("disk on fire"); }), L"disk on fire");
  EXPECT_EQ(describe([] { throw 7; }), L"an exception of unknown type");
  EXPECT_EQ(utl::DescribeCurrentException(), L"no exception");
  testing::internal::CaptureStderr(), utl::LogExceptionText(L"S", L"f", 12, L"\u00E4");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "S: exception caught at f:12: \xC3\xA4\n");
}

// Each of a filter's raising functions tells the manager, then throws its kind of host error. A
// manager that does not answer warnings answers 0.
TEST(Filter, EachRaiseTellsTheManagerThenThrows) {
  TestManager manager;
  qxio::IoManager plain;
  struct Filter : qxio::IoFilter {
    using IoFilter::IoFilter;
    const qxio::FilterDescriptor* GetFilterDescriptor() const override { return nullptr; }
    bool SupportsType(const utl::CTypeInfo*) const override { return false; }
  } filter(manager), quiet(plain);
  EXPECT_EQ(quiet.Warning(utl::IError::WarnStyleDefault, L"%s", L"w"), 0);
  const std::pair<std::function<void()>, ErrorKind> raises[] = {
      {[&] { filter.Throw_ERR_END_BEFORE_BEGIN(L"f.cpp", 1); }, ErrorKind::EndBeforeBegin},
      {[&] { filter.Throw_ERR_INTERNAL(L"f.cpp", 2); }, ErrorKind::Internal},
      {[&] { filter.Throw_ERR_UNKNOWN_FORMAT(L"f.cpp", 3, L"p"); }, ErrorKind::UnknownFormat},
      {[&] { filter.Throw_ERR_UNEXPECTED_EOF(L"f.cpp", 4, L"p"); }, ErrorKind::UnexpectedEof},
      {[&] { filter.Throw_ERR_FILE_READ(L"f.cpp", 5, L"p", L"m"); }, ErrorKind::FileRead},
      {[&] { filter.Throw_ERR_FILE_WRITE(L"f.cpp", 6, L"p", L"m"); }, ErrorKind::FileWrite},
      {[&] { filter.Throw_ERR_NOT_IMPLEMENTED(L"f.cpp", 7, L"F", L"x", L"p"); },
       ErrorKind::NotImplemented},
      {[&] { filter.ThrowError(L"f.cpp", 8, L"%s", L"m"); }, ErrorKind::General},
  };
  for (const auto& [raise, kind] : raises) {
    const auto error = Raised(raise);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Kind(), kind);
    EXPECT_EQ(manager.errors.back(), kind);
  }
  EXPECT_EQ(manager.errors.size(), std::size(raises));
}

// A file export's life cycle, whatever the format writes: one image a file, the file appearing
// only when complete, and nothing of it left by an export without an image, an image refused (of
// no rows or no columns) or one whose writing fails; an export ended or given an image before it
// began is refused.
TEST(FileExport, OneImageAFileAndNothingLeftOfAFailure) {
  TestManager manager;
  struct Filter : qxio::IoFileExportFilter {
    using IoFileExportFilter::IoFileExportFilter;
    bool fail = false;
    const qxio::FilterDescriptor* GetFilterDescriptor() const override { return nullptr; }
    void WriteImage(const qxio::TrImage& image, CBufferedFile& file, qxio::CProgress&) override {
      file.Write(image.Row(0), image.RowBytes());
      if (fail) ThrowError(L"f.cpp", 1, L"fails");
    }
  } filter(manager, L"X");
  EXPECT_TRUE(filter.SupportsType(qxio::TrImage::GetClassTypeId()) &&
              filter.SupportsType(qxio::TrInitGraphicsExp::GetClassTypeId()) &&
              !filter.SupportsType(nullptr));
  TempDir dir;
  qxio::TrImage image = TestImage(utl::Gray8, 3, 2), none = TestImage(utl::Gray8, 4, 0),
                columnless = TestImage(utl::Gray8, 0, 2);
  EXPECT_EQ(Raised([&] { filter.EndExport(); }).value().Kind(), ErrorKind::EndBeforeBegin);
  EXPECT_TRUE(Raised([&] { filter.ExportObject(image); }));
  EXPECT_TRUE(Raised([&] { filter.BeginExport(dir.Wide("missing/out.x")); }));
  qxio::TrInitGraphicsExp request;
  request.m_filterParams[0] = request.m_filterParams[1] = 7;
  filter.BeginExport(dir.Wide("out.x"));
  EXPECT_EQ(filter.ExportObject(request), qxio::ExportDone);
  EXPECT_TRUE(request.m_filterFlag && request.m_filterParams[0] == 0 && !request.m_filterParams[1]);
  EXPECT_TRUE(filter.EndExport() == qxio::ExportNothingExported && dir.List().empty());
  for (qxio::TrImage* refused : {&none, &columnless, &image}) {
    filter.fail = refused == &image;
    filter.BeginExport(dir.Wide("out.x"));
    EXPECT_EQ(Raised([&] { filter.ExportObject(*refused); }).value().Message(),
              filter.fail        ? L"fails"
              : refused == &none ? L"X cannot hold an image of no rows"
                                 : L"X cannot hold an image of no columns");
    EXPECT_TRUE(Raised([&] { filter.EndExport(); })) << "the failure ended the export";
  }
  EXPECT_TRUE(dir.List().empty());
  filter.fail = false;
  filter.BeginExport(dir.Wide("out.x"));
  EXPECT_EQ(filter.ExportObject(image), qxio::ExportDone);
  EXPECT_EQ(filter.ExportObject(image), qxio::ExportNotTaken);
  EXPECT_EQ(dir.List().size(), 1u) << "the save's own file only";
  EXPECT_EQ(filter.EndExport(), qxio::ExportDone);
  EXPECT_EQ(ReadFile(dir / "out.x"), Bytes(image.Row(0), image.Row(0) + 3));
}

// The thread budget: extra threads only while it has room, given back when they end; a host's
// worker counts against it whether or not there is room. The machine has a core at least; with no
// budget set, a conversion may use every one, and one set lasts as long as its object.
TEST(ThreadBudget, ExtraThreadsComeBack) {
  ASSERT_GE(utl::Cores(), 1u);
  EXPECT_EQ(utl::ExtraThreads(9999).Count(), utl::Cores() - 1);
  {
    const utl::ThreadBudget budget(3);
    {
      const utl::ExtraThreads two(2);
      EXPECT_EQ(two.Count(), 2u);
      EXPECT_EQ(utl::ExtraThreads(5).Count(), 1u);
      const utl::BusyThread worker;
      EXPECT_EQ(utl::ExtraThreads(5).Count(), 0u);
    }
    EXPECT_EQ(utl::ExtraThreads(9).Count(), 3u);
  }
  EXPECT_EQ(utl::ExtraThreads(9999).Count(), utl::Cores() - 1);
}

// UTF-8 both ways (tests/data/host/utf8.txt), bytes of no character kept; printf-style formats
// with wide strings, as a filter's messages use them. (tests/data/cli/cases.txt has a file whose
// name is not UTF-8 opened by the bytes it came from.)
TEST(Text, Utf8AndFormat) {
  for (const auto& row : Table("host/utf8.txt")) {
    std::string utf8;
    std::wstring wide;
    std::istringstream bytes(row[0]), points(row[1]);
    for (unsigned byte; bytes >> std::hex >> byte;) utf8 += char(byte);
    for (unsigned point; points >> std::hex >> point; wide += wchar_t(point)) {
      if (sizeof(wchar_t) == 2 && point > 0xFFFF) {  // a surrogate pair in UTF-16
        wide += wchar_t(0xD7C0 + (point >> 10)), point = 0xDC00 | (point & 0x3FF);
      }
    }
    EXPECT_EQ(utl::FromUtf8(utf8), wide) << row[0];
    EXPECT_EQ(utl::ToUtf8(wide), utf8) << row[0];
  }
  // Surrogates that stand for no byte, and code points past Unicode's last, are no character.
  EXPECT_EQ(utl::ToUtf8({wchar_t(sizeof(wchar_t) == 2 ? 0xDFFF : 0x110000), wchar_t(0xDC7F),
                         wchar_t(0xDD00), wchar_t(0xD800)}),
            "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  // A surrogate pair is one character in UTF-16, and two that are none in UTF-32.
  EXPECT_EQ(utl::ToUtf8(L"\xD83D\xDE00"),
            sizeof(wchar_t) == 2 ? "\xF0\x9F\x98\x80" : "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Formatted(L"%s=%d [%5s|%-3s] 100%%", L"\u00E4\U0001F600", -42, L"ab", L"c"),
            L"\u00E4\U0001F600=-42 [   ab|c  ] 100%");
  EXPECT_EQ(Formatted(L"%s", L""), L"") << "no text is no failure";
  const std::wstring longText(1022, L'x');  // with the brackets, as long as a buffer tried
  EXPECT_EQ(Formatted(L"<%s>", longText.c_str()), L"<" + longText + L">");
  EXPECT_EQ(Formatted(L"<%s>", std::wstring(1 << 20, L'x').c_str()), L"<%s>") << "too long";
#if !defined(_WIN32)  // where the C library refuses a malformed format, it is shown as it is
  EXPECT_EQ(Formatted(L"done 100%"), L"done 100%");
#endif
}

}  // namespace
}  // namespace vemra::test
