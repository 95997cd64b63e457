// Hostile files: crafted headers, colour maps and run-length data of the kinds that break
// raster readers (huge claimed sizes in tiny files, sizes that overflow 32 bits, colour maps
// longer than the file, escapes cut short, runs past the last row), and every prefix of valid
// files. Each must end in its clear error or a valid image (docs/hostile-files.md): in process
// through the import filter, and through `qxhost check` in a child process with bounded
// memory and time.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "rasterbytes.h"
#include "recordingmanager.h"
#include "sunimportfilter.h"
#include "testfiles.h"
#include "utl/error.h"
#include "utl/text.h"

#if !defined(_WIN32)
#  include <sys/wait.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#  define VEMRA_UNDER_ASAN 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define VEMRA_UNDER_ASAN 1
#  endif
#endif

namespace vemra::test {
namespace {

enum Ends { Ok, Incomplete, NotValid, UnknownFormat, EndsEarly, TooLarge };
const char* const kEnds[] = {"ok", "incomplete", "not valid", "unknown format", "ends early",
                             "too large"};

struct Hostile {
  std::string name;  // also the file name
  Bytes bytes;
  Ends ends;
  std::string why;
  std::uint64_t maxPixels = 0;  // the manager's limit; 0 keeps the host's default
};

// A header (with maptype and maplength when given) followed by body.
Bytes File(std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::uint32_t type,
           const Bytes& body = {7, 7}, std::uint32_t maptype = 0, std::uint32_t maplength = 0) {
  HeaderFields h;
  h.width = width, h.height = height, h.depth = depth, h.type = type;
  h.maptype = maptype, h.maplength = maplength;
  Bytes file = HeaderBytes(h);
  Append(file, body);
  return file;
}

// One row of width pixels at depth 8 (or 1) after a colour map of maplength bytes.
Bytes Mapped(std::uint32_t maplength, const Bytes& body, std::uint32_t width = 1,
             std::uint32_t depth = 8) {
  return File(width, 1, depth, 1, body, 1, maplength);
}

std::vector<Hostile> HostileFiles() {
  Bytes map900(900, 0x33), longestRuns;
  Append(map900, {7, 7});
  for (int i = 0; i < 21845; ++i) Append(longestRuns, {0x80, 0xFF, 0x00});
  std::vector<Hostile> t = {
      {"maplength-7fffffff", Mapped(0x7FFFFFFF, Bytes(6, 1)), NotValid, "2 GiB map, 38 bytes"},
      {"maplength-ffffffff", Mapped(0xFFFFFFFF, {7, 7}), Ok, "negative: no entry"},
      {"maplength-1", Mapped(1, {0xAA, 7}), Ok, "no entry; the byte is a pixel"},
      {"maplength-2", Mapped(2, {0xAA, 0xBB}), Ok, "no entry; both bytes are pixels"},
      {"maplength-7", Mapped(7, {1, 2, 3, 4, 5, 6, 0xAA, 0}), Ok, "2 entries, then pixels"},
      {"maplength-900", Mapped(900, map900), Ok, "300 entries: 44 read and dropped"},
      {"maplength-900-cut", Mapped(900, Bytes(899, 0x33)), NotValid, "a map one byte short"},
      {"index-past-short-map", Mapped(6, {1, 2, 3, 4, 5, 6, 0xFF, 0x10, 2, 0x80}, 4), Ok,
       "indices past a 2-entry map show black"},
      {"depth1-map-1-entry", Mapped(3, {9, 9, 9, 0xAA, 0}, 8, 1), Ok, "1 bit, 1 entry"},
      {"maptype-2", File(1, 1, 8, 1, Bytes(8, 1), 2, 6), UnknownFormat, "map type"},
      {"maptype-ffffffff", File(1, 1, 8, 1, Bytes(8, 1), 0xFFFFFFFF, 6), UnknownFormat, "map type"},
      // Sizes: refused when they overflow, weighed against the file before anything is
      // allocated when they fit.
      {"width-0", File(0, 1, 8, 1), UnknownFormat, "rows without length"},
      {"width-minus-1", File(0xFFFFFFFF, 1, 8, 1), UnknownFormat, "a negative width"},
      {"height-minus-1", File(1, 0xFFFFFFFF, 8, 1), UnknownFormat, "a negative height"},
      {"height-0", File(1, 0, 8, 1, {}), Ok, "an image without rows"},
      {"width-7fffffff-depth-8", File(0x7FFFFFFF, 1, 8, 1), UnknownFormat, "width x depth"},
      {"width-x-depth-wraps-to-0", File(0x20000000, 1, 8, 1), UnknownFormat, "2^29 x 8 bits"},
      {"width-x-depth-wraps-to-4", File(0x40000001, 1, 4, 1), UnknownFormat, "(2^30+1) x 4"},
      {"depth32-width-2^27", File(0x08000000, 1, 32, 1), UnknownFormat, "2^27 x 32 bits"},
      {"row-x-height-wraps-to-0", File(0x8000, 0x20000, 8, 1), UnknownFormat, "32 KiB x 2^17"},
      {"height-7fffffff-row-4", File(3, 0x7FFFFFFF, 8, 1), UnknownFormat, "4 x (2^31 - 1)"},
      {"65535x65535x32-raw", File(65535, 65535, 32, 1, {}), UnknownFormat, "16 GiB"},
      {"65535x65535x32-encoded", File(65535, 65535, 32, 2, {}), UnknownFormat, "16 GiB"},
      {"width-7fffffff-depth-1", File(0x7FFFFFFF, 1, 1, 1), EndsEarly, "a 256 MiB row"},
      {"height-7fffffff", File(1, 0x7FFFFFFF, 8, 1), EndsEarly, "4 GiB of 2-byte rows"},
      {"30000x30000x32-raw", File(30000, 30000, 32, 1, {}), EndsEarly, "3.6 GB in 32 bytes"},
      {"30000x30000x32-encoded", File(30000, 30000, 32, 2, {}), EndsEarly, "3.6 GB, no data"},
      {"30000x30000x32-encoded-64k", File(30000, 30000, 32, 2, longestRuns), EndsEarly,
       "64 KiB of the longest runs decode to 5.6 MB, not the 1.8 GB of half the rows"},
      {"100x100-over-pixel-limit", File(100, 100, 8, 1, Bytes(10000, 1)), TooLarge,
       "10000 pixels over a limit of 9999", 9999},
      // Run-length data.
      {"escape-cut-after-80", File(1, 1, 8, 2, {0x80}), EndsEarly, "80 at the end"},
      {"escape-cut-after-count", File(1, 1, 8, 2, {0x80, 0x05}), EndsEarly, "80 05 at the end"},
      {"run-past-last-row", File(1, 2, 8, 2, {0x80, 0xFF, 0x41}), Ok, "256 copies for 4 bytes"},
      {"lone-80-00-80-00-80-in-row", File(5, 1, 8, 2, {0x80, 0, 0x80, 0, 0x80}), EndsEarly,
       "two literal 0x80s, then an escape cut short inside the only row"},
      {"lone-80-00-80-00-80-trailing", File(1, 1, 8, 2, {1, 2, 0x80, 0, 0x80, 0, 0x80}), Ok,
       "after the last row nothing is read"},
  };
  for (std::uint32_t depth : {0u, 2u, 16u, 33u, 0xFFFFFFFFu}) {
    t.push_back({"depth-" + std::to_string(depth), File(1, 1, depth, 1, Bytes(6, 0)),
                 UnknownFormat, "a depth the reader lacks"});
  }
  for (std::uint32_t type : {4u, 5u, 0xFFFFu}) {
    t.push_back({"type-" + std::to_string(type), File(1, 1, 8, type), UnknownFormat, "type"});
  }
  return t;
}

// Groups of files that go through one qxhost: each hostile file alone, and every prefix of a
// valid 5 x 4 file of each depth and storage type (a full colour map at depths 1 to 8), its
// rows encoded one by one so that the complete rows of a prefix are known.
std::vector<std::vector<Hostile>> Groups() {
  std::vector<std::vector<Hostile>> groups;
  for (Hostile& h : HostileFiles()) groups.push_back({std::move(h)});
  for (std::uint32_t depth : {1u, 4u, 8u, 24u, 32u}) {
    for (std::uint32_t type : {0u, 1u, 2u, 3u}) {
      const std::uint32_t mapBytes = depth <= 8 ? 3u << depth : 0u;
      Bytes file = File(5, 4, depth, type, {}, mapBytes ? 1 : 0, mapBytes);
      for (std::uint32_t i = 0; i < mapBytes; ++i) file.push_back(std::uint8_t(i * 7));
      const std::size_t headerEnd = file.size();
      std::vector<std::size_t> rowEnds;
      Bytes row(static_cast<std::size_t>(bytesPerRow(5, depth)));
      for (std::uint32_t r = 0; r < 4; ++r) {
        for (std::size_t i = 0; i < row.size(); ++i) {
          row[i] = std::uint8_t(i < 3 ? 0x80 : r * 40 + i);
        }
        Append(file, type == 2 ? EncodeRuns(row) : row);
        rowEnds.push_back(file.size());
      }
      const std::string name = "d" + std::to_string(depth) + "-t" + std::to_string(type);
      std::vector<Hostile> group;
      for (std::size_t n = 0; n <= file.size(); ++n) {
        std::size_t rows = 0;
        while (rows < 4 && rowEnds[rows] <= n) ++rows;
        const Ends ends =
            n < headerEnd ? NotValid : rows == 4 ? Ok : rows > 2 ? Incomplete : EndsEarly;
        group.push_back({name + "-" + std::to_string(n),
                         Bytes(file.begin(), file.begin() + std::ptrdiff_t(n)), ends,
                         name + " cut to " + std::to_string(n) + " bytes"});
      }
      groups.push_back(std::move(group));
    }
  }
  return groups;
}

Ends ImportInProcess(const std::wstring& path, std::uint64_t maxPixels) {
  RecordingManager manager;
  if (maxPixels) manager.SetMaxPixels(maxPixels);
  SunImportFilter filter(manager);
  try {
    filter.ImportFromFile(path);
  } catch (const utl::IError& error) {
    EXPECT_TRUE(manager.m_images.empty());
    switch (error.Kind()) {
      case utl::ErrorKind::FileRead:
        EXPECT_EQ(error.Message(), L"Not a valid Sun Raster file.");
        return NotValid;
      case utl::ErrorKind::UnknownFormat: return UnknownFormat;
      case utl::ErrorKind::UnexpectedEof: return EndsEarly;
      case utl::ErrorKind::ImageTooLarge: return TooLarge;
      default: ADD_FAILURE() << "unexpected error: " << error.what(); return NotValid;
    }
  }
  EXPECT_EQ(manager.m_images.size(), 1u);
  return manager.m_warnings.empty() ? Ok : Incomplete;
}

#if !defined(_WIN32)

// The start of the line qxhost prints for a file: on standard output for an image, on
// standard error for an error.
std::string ExpectedLine(const std::string& file, Ends ends) {
  auto error = [&](utl::ErrorKind kind, const std::wstring& message = {}) {
    return "error: " + file + ": " + utl::CError(kind, L"", 0, utl::FromUtf8(file), message).what();
  };
  switch (ends) {
    case Ok: return file + ": ok, ";
    case Incomplete: return file + ": incomplete, ";
    case NotValid: return error(utl::ErrorKind::FileRead, L"Not a valid Sun Raster file.");
    case UnknownFormat: return error(utl::ErrorKind::UnknownFormat);
    case EndsEarly: return error(utl::ErrorKind::UnexpectedEof);
    case TooLarge: return "error: " + file + ": The image of ";
  }
  return {};
}

// Runs `qxhost --quiet ARGS` from a shell with an address-space limit of 256 MiB (or, under
// AddressSanitizer, whose shadow memory needs terabytes of address space, with its cap of
// 64 MiB on any one allocation), 5 s of CPU and 20 s of wall clock; returns its exit code.
int RunQxhost(const TempDir& dir, const std::vector<std::string>& args, std::string& out,
              std::string& err) {
#  if defined(VEMRA_UNDER_ASAN)
  const char* inherited = std::getenv("ASAN_OPTIONS");
  std::string command = "ulimit -t 5 && ASAN_OPTIONS='" + std::string(inherited ? inherited : "") +
                        ":max_allocation_size_mb=64:allocator_may_return_null=0:exitcode=86' ";
#  else
  std::string command = "ulimit -t 5 && ulimit -v 262144 && ";
#  endif
  command += "exec timeout -s KILL 20 '" QXHOST_BINARY "' --quiet";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
  const int status = std::system(command.c_str());
  const Bytes o = ReadFile(dir / "out"), e = ReadFile(dir / "err");
  out.assign(o.begin(), o.end()), err.assign(e.begin(), e.end());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif  // !_WIN32

TEST(HostileFiles, EachEndsInItsErrorOrAValidImageWithinBoundedMemoryAndTime) {
  TempDir dir;
  for (const auto& group : Groups()) {
    std::vector<std::string> args{"check"};
    if (group[0].maxPixels) args = {"--max-pixels", std::to_string(group[0].maxPixels), "check"};
    bool allOk = true;
    for (const Hostile& h : group) {
      // A new file each time: rewriting one file makes some file systems flush it to disk.
      args.push_back((dir / (h.name + ".ras")).string());
      WriteFile(args.back(), h.bytes);
      allOk = allOk && h.ends == Ok;
      EXPECT_STREQ(kEnds[ImportInProcess(WidePath(args.back()), h.maxPixels)], kEnds[h.ends])
          << h.name << ": " << h.why;
    }
#if !defined(_WIN32)
    std::string out, err;
    EXPECT_EQ(RunQxhost(dir, args, out, err), allOk ? 0 : 1) << group[0].why << "\n" << err;
    out = "\n" + out, err = "\n" + err;
    for (std::size_t i = 0; i < group.size(); ++i) {
      const Hostile& h = group[i];
      const std::string line = "\n" + ExpectedLine(args[args.size() - group.size() + i], h.ends);
      EXPECT_NE((h.ends == Ok || h.ends == Incomplete ? out : err).find(line), std::string::npos)
          << h.name << ": " << h.why << "\nexpected a line starting:" << line << "\nstdout:"
          << out << "\nstderr:" << err;
    }
#endif
  }
}

}  // namespace
}  // namespace vemra::test
