// The buffered file, and replacing a file by a temporary one beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "hosttest.h"
#include "testfiles.h"
#include "utl/bufferedfile.h"
#include "utl/safesave.h"
#include "utl/text.h"

namespace {

using utl::CBufferedFile;
using utl::ErrorKind;
using namespace vemra::test;

constexpr std::size_t kBuf = CBufferedFile::kBufferSize, kSize = 3 * kBuf + 1001;
constexpr long long kB = static_cast<long long>(kBuf);
constexpr auto kNone = utl::ShareNone;

std::int64_t I64(std::size_t n) { return static_cast<std::int64_t>(n); }
template <class V>
auto At(V& bytes, std::size_t pos) { return bytes.begin() + static_cast<std::ptrdiff_t>(pos); }

// Reads (n > 0) and writes (n < 0) of |n| bytes, checked against a model of the file. The
// sequences repeat until they have covered three buffers and more.
struct Seq {
  std::string name, mode;
  std::vector<long long> ops;
};
void PrintTo(const Seq& s, std::ostream* os) { *os << s.name; }
class BufferedTransfers : public ::testing::TestWithParam<Seq> {};

TEST_P(BufferedTransfers, MatchTheModelByteExact) {
  const Seq& s = GetParam();
  TempDir dir;
  Bytes model = s.mode == "wb" ? Bytes() : Pattern(kSize, 3);
  CBufferedFile file;
  file.Open(dir.Put("f", model), s.mode.c_str(), kNone, false);
  std::size_t pos = 0;
  for (std::size_t i = 0; pos < kSize; ++i) {
    const long long op = s.ops[i % s.ops.size()];
    const auto n = static_cast<std::size_t>(op < 0 ? -op : op);
    if (op > 0) {
      Bytes got(n);
      const std::size_t expected = std::min(n, model.size() - pos);
      ASSERT_EQ(file.Read(got.data(), n), expected) << "read at " << pos;
      ASSERT_TRUE(std::equal(got.begin(), At(got, expected), At(model, pos))) << "at " << pos;
      pos += expected;
    } else {
      const Bytes data = Pattern(n, static_cast<std::uint32_t>(pos));
      file.Write(data.data(), n);
      model.resize(std::max(model.size(), pos + n));
      std::copy(data.begin(), data.end(), At(model, pos));
      pos += n;
    }
    ASSERT_EQ(file.GetPosition(), I64(pos)) << "after " << op;
    ASSERT_EQ(file.GetLength(), I64(model.size())) << "after " << op;
  }
  if (s.mode == "rb") {
    EXPECT_EQ(file.Read(model.data(), kBuf + 1), 0u);
    EXPECT_EQ(file.GetPosition(), I64(kSize));
  }
  file.Close();
  EXPECT_TRUE(ReadFile(dir / "f") == model);
}

std::vector<Seq> Sequences() {
  std::vector<Seq> out;
  const std::pair<const char*, std::vector<long long>> plans[] = {
      {"Ones", {1}},   {"Threes", {3}},          {"StraddleBoundary", {kB - 1, 2}},
      {"Whole", {kB}}, {"OverBuffer", {kB + 1}}, {"Mixed", {1, kB - 3, 7, 2 * kB + 3}}};
  for (const auto& [name, sizes] : plans) {
    out.push_back({std::string("Read") + name, "rb", sizes});
    out.push_back({std::string("Write") + name, "wb", {}});
    for (long long n : sizes) out.back().ops.push_back(-n);
  }
  return out;
}
INSTANTIATE_TEST_SUITE_P(Sequences, BufferedTransfers, ::testing::ValuesIn(Sequences()),
                         [](const auto& info) { return info.param.name; });

// Both OpenNoThrow overloads ("read" and "new": access and file mode); a file that stays
// closed is at position 0 and refuses transfers. sizeAfter -1: no file afterwards.
TEST(BufferedFile, OpensOrStaysClosedAtPositionZero) {
  enum { kFile, kMissing, kFolder };
  const struct {
    int target;
    std::string mode;
    bool opens;
    int sizeAfter;
  } cases[] = {{kFile, "rb", true, 5},  {kMissing, "rb", false, -1}, {kFolder, "rb", false, -1},
               {kFile, "wb", true, 0},  {kFolder, "wb", false, -1},  {kFile, "wbx", false, 5},
               {kFile, "r+b", false, 5}, {kFile, "read", true, 5},    {kMissing, "read", false, -1},
               {kFolder, "read", false, -1}, {kFile, "new", false, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.target) + " " + c.mode);
    TempDir dir;
    if (c.target == kFile) WriteFile(dir / "t", {1, 2, 3, 4, 5});
    if (c.target == kFolder) std::filesystem::create_directory(dir / "t");
    CBufferedFile file;
    const std::wstring t = dir.Wide("t");
    const bool opened =
        c.mode == "read"  ? file.OpenNoThrow(t, utl::AccessRead, utl::OpenExisting, kNone, false)
        : c.mode == "new" ? file.OpenNoThrow(t, utl::AccessWrite, utl::CreateNew, kNone, false)
                          : file.OpenNoThrow(t, c.mode.c_str(), kNone, false);
    EXPECT_EQ(opened, c.opens);
    EXPECT_EQ(file.IsOpen(), c.opens);
    EXPECT_EQ(file.GetPosition(), 0);
    std::uint8_t byte = 0;
    if (!opened) {
      EXPECT_EQ(file.Read(&byte, 0), 0u);
      EXPECT_EQ(Raised([&] { file.Read(&byte, 1); }).value().Kind(), ErrorKind::FileRead);
      EXPECT_EQ(Raised([&] { file.Write(&byte, 1); }).value().Kind(), ErrorKind::FileWrite);
    }
    file.Close();
    std::error_code ec;
    const auto size = std::filesystem::file_size(t, ec);
    if (c.target != kFolder) {
      EXPECT_EQ(ec ? -1 : static_cast<int>(size), c.sizeAfter);
    }
  }
}

TEST(BufferedFile, OpenRaisesAndNonAsciiNamesReachTheSystemAsUtf8) {
  TempDir dir;
  const std::string name = utl::ToUtf8(L"bild-\u00E4\u00F6-\u65E5\u672C-\U0001F600.ras");
  const std::wstring path = WidePath(dir.Path()) + L"/" + utl::FromUtf8(name);
  CBufferedFile file;
  const auto error = Raised([&] { file.Open(path, "rb", utl::ShareRead, false); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Kind(), ErrorKind::FileOpen);
  EXPECT_EQ(error->Path(), path);
  EXPECT_NE(std::string(error->what()).find(utl::ToUtf8(path)), std::string::npos);
  file.Open(path, "wb", kNone, false);
  file.Write(name.data(), name.size());
  file.Close();
  EXPECT_EQ(dir.List(), std::vector<std::string>{name});
  EXPECT_TRUE(ReadFile(dir.Path() / std::filesystem::u8path(name)) == Bytes(name.begin(), name.end()));
}

// /dev/full opens and refuses every write with ENOSPC: Close raises, the quiet ways do not.
TEST(BufferedFile, FullDeviceFailsAtCloseAndNeverInDestructors) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const Bytes data = Pattern(kBuf + 1, 5);
  const auto openFull = [&](CBufferedFile& file, std::size_t n) {
    ASSERT_TRUE(file.OpenNoThrow(L"/dev/full", "wb", kNone, false));
    file.Write(data.data(), n);
  };
  CBufferedFile file;
  openFull(file, 100);
  const auto error = Raised([&] { file.Close(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Kind(), ErrorKind::FileWrite);
  EXPECT_EQ(error->Path(), L"/dev/full");
  EXPECT_FALSE(file.IsOpen());
  openFull(file, 100);
  EXPECT_NO_THROW(file.CloseNoThrow(false));
  EXPECT_NO_THROW(CBufferedFile dropped; openFull(dropped, 100));
  EXPECT_EQ(Raised([&] { openFull(file, data.size()); }).value().Kind(), ErrorKind::FileWrite);
}

// A fault at an offset, approached by transfers of one size: the transfer that would pass it
// raises and moves nothing; the bytes up to the offset still go through, then nothing more.
class BufferedFaults : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {
protected:
  void TearDown() override { utl::SetFileFaults({}); }
};

TEST_P(BufferedFaults, TransferPassingTheOffsetRaisesAndMovesNothing) {
  const auto [offset, chunk] = GetParam();
  TempDir dir;
  const Bytes data = Pattern(2 * kBuf + 100, 6);
  Bytes got(data.size(), 0xEE);
  for (const bool writing : {true, false}) {
    if (!writing) WriteFile(dir / "f", data);
    utl::SetFileFaults({writing ? -1 : I64(offset), writing ? I64(offset) : -1});
    CBufferedFile file;
    file.Open(dir.Wide("f"), writing ? "wb" : "rb", kNone, false);
    const auto step = [&](std::size_t pos, std::size_t n) {
      if (writing) {
        file.Write(data.data() + pos, n);
      } else {
        ASSERT_EQ(file.Read(got.data() + pos, n), n);
      }
    };
    std::size_t pos = 0;
    for (; pos + chunk <= offset; pos += chunk) step(pos, chunk);
    const auto error = Raised([&] { step(pos, chunk); });
    ASSERT_TRUE(error) << (writing ? "write" : "read") << " at " << pos;
    EXPECT_EQ(error->Kind(), writing ? ErrorKind::FileWrite : ErrorKind::FileRead);
    EXPECT_EQ(error->Path(), dir.Wide("f"));
    EXPECT_EQ(file.GetPosition(), I64(pos));
    step(pos, offset - pos);
    EXPECT_TRUE(Raised([&] { step(offset, 1); }));
    file.Close();
    if (writing) {
      EXPECT_TRUE(ReadFile(dir / "f") == Bytes(data.begin(), At(data, offset)));
    }
  }
  EXPECT_TRUE(std::equal(data.begin(), At(data, offset), got.begin()));
  EXPECT_EQ(Bytes(At(got, offset), At(got, offset + chunk)), Bytes(chunk, 0xEE));
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, BufferedFaults,
    ::testing::Combine(::testing::Values<std::size_t>(0, 1, kBuf - 1, kBuf, kBuf + 1),
                       ::testing::Values<std::size_t>(1, 3, kBuf + 7)));

// A save replaces the target whole on Commit; discarded, destroyed or failing, it leaves the
// target as it was and nothing beside it, and its errors name the target.
TEST(SafeSave, ReplacesWholeOrLeavesTheTargetAlone) {
  TempDir dir;
  const std::wstring target = dir.Put("bild.ras", {1, 2, 3});
  const std::vector<std::string> onlyTarget = {"bild.ras"};
  const auto write = [](utl::CSafeSave& save, const Bytes& bytes) {
    save.File().Write(bytes.data(), bytes.size());
  };
  {
    utl::CSafeSave save;
    save.Begin(target);
    write(save, {9, 8});
    EXPECT_EQ(dir.List().size(), 2u);
    save.Begin(target);  // a second Begin discards the first save
    EXPECT_EQ(dir.List().size(), 2u);
    write(save, {7});
    EXPECT_EQ(ReadFile(dir / "bild.ras"), (Bytes{1, 2, 3}));
  }
  EXPECT_EQ(dir.List(), onlyTarget);
  EXPECT_EQ(ReadFile(dir / "bild.ras"), (Bytes{1, 2, 3}));

  utl::CSafeSave save;
  save.Begin(target);
  write(save, {9, 8});
  EXPECT_EQ(save.Target(), target);
  ASSERT_TRUE(save.Commit());
  EXPECT_FALSE(save.IsActive());
  EXPECT_EQ(ReadFile(dir / "bild.ras"), (Bytes{9, 8}));
  EXPECT_EQ(dir.List(), onlyTarget);

  utl::SetFileFaults({-1, 1});
  save.Begin(target);
  utl::SetFileFaults({});
  write(save, {1});
  const auto error = Raised([&] { write(save, {2}); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Path(), target);
  save.Discard();
  EXPECT_EQ(dir.List(), onlyTarget);
  EXPECT_EQ(ReadFile(dir / "bild.ras"), (Bytes{9, 8}));

  const std::wstring folder = dir.Wide("folder");
  std::filesystem::create_directory(dir / "folder");
  WriteFile(dir / "folder" / "x", {1});
  save.Begin(folder);
  EXPECT_FALSE(save.Commit());  // a folder that is not empty cannot be replaced
  EXPECT_EQ((std::vector<std::string>{"bild.ras", "folder"}), dir.List());
  EXPECT_EQ(Raised([&] { save.Begin(dir.Wide("missing/x.ras")); }).value().Path(),
            dir.Wide("missing/x.ras"));
}

}  // namespace
