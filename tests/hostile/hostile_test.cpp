// Hostile files: crafted headers, colour maps and run-length data of the kinds that break
// raster readers (huge claimed sizes in tiny files, sizes that overflow 32 bits, colour maps
// longer than the file, escapes cut short, runs past the last row), and every prefix of valid
// files. Each must end in its clear error or a valid image: in process through the import
// filter, and through `qxhost check` in a child process with bounded memory and time.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rasterbytes.h"
#include "recordingmanager.h"
#include "sunimportfilter.h"
#include "testfiles.h"
#include "utl/error.h"
#include "utl/text.h"

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <signal.h>
#  include <sys/resource.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <chrono>
#  include <cstdlib>
#  include <thread>
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

// How an import ends.
enum class Ends {
  Ok,             // a complete image
  Incomplete,     // an image with the warning: more than half of the rows arrived
  NotValid,       // FileRead "Not a valid Sun Raster file.": header or colour map cut short
  UnknownFormat,  // magic number, depth, type, map type or size the reader refuses
  EndsEarly,      // UnexpectedEof: at most half of the rows can arrive
  TooLarge,       // ImageTooLarge: over the manager's pixel limit
};

struct Hostile {
  std::string name;  // also the file name
  Bytes bytes;
  Ends ends;
  std::string why;
  std::uint64_t maxPixels = 0;  // the manager's limit; 0 keeps the host's default
};

HeaderFields Header(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                    std::uint32_t type = 1, std::uint32_t maptype = 0,
                    std::uint32_t maplength = 0) {
  HeaderFields h;
  h.width = width, h.height = height, h.depth = depth, h.type = type;
  h.maptype = maptype, h.maplength = maplength;
  return h;
}

Bytes File(const HeaderFields& h, const Bytes& body = {}) {
  Bytes file = HeaderBytes(h);
  Append(file, body);
  return file;
}

Bytes Repeat(std::initializer_list<int> pattern, std::size_t times) {
  Bytes out;
  for (std::size_t i = 0; i < times; ++i) Append(out, pattern);
  return out;
}

std::vector<Hostile> HostileFiles() {
  const Bytes row2{7, 7};  // one 2-byte row: width 1 at depth 8
  std::vector<Hostile> t = {
      // Files too short to be anything.
      {"empty", {}, Ends::NotValid, "no header at all"},
      {"magic-only", {0x59, 0xA6, 0x6A, 0x95}, Ends::NotValid, "a header of 4 bytes"},
      {"header-31-bytes", [] {
         Bytes b = HeaderBytes(Header(1, 1, 8));
         b.pop_back();
         return b;
       }(), Ends::NotValid, "one byte short of a header"},
      {"magic-swapped", [] {
         HeaderFields h = Header(1, 1, 8);
         h.magic = 0x956AA659;
         return File(h, {7, 7});
       }(), Ends::UnknownFormat, "the magic number in the other byte order"},

      // Colour-map lengths.
      {"maplength-7fffffff", File(Header(1, 1, 8, 1, 1, 0x7FFFFFFF), Bytes(6, 1)),
       Ends::NotValid, "a 2 GiB map in a 38-byte file is refused before it is read"},
      {"maplength-ffffffff", File(Header(1, 1, 8, 1, 1, 0xFFFFFFFF), row2), Ends::Ok,
       "a negative length holds no entry; the pixels follow the header"},
      {"maplength-1", File(Header(1, 1, 8, 1, 1, 1), {0xAA, 7}), Ends::Ok,
       "no whole entry: the left-over byte is the first pixel byte"},
      {"maplength-2", File(Header(1, 1, 8, 1, 1, 2), {0xAA, 0xBB}), Ends::Ok,
       "no whole entry: both bytes are pixel data"},
      {"maplength-7", File(Header(1, 1, 8, 1, 1, 7), {1, 2, 3, 4, 5, 6, 0xAA, 0}), Ends::Ok,
       "two entries; the seventh byte is the first pixel byte"},
      {"maplength-900", File(Header(1, 1, 8, 1, 1, 900), [&] {
         Bytes b(900, 0x33);
         Append(b, row2);
         return b;
       }()), Ends::Ok, "300 entries: those past 256 are read and dropped"},
      {"maplength-900-cut", File(Header(1, 1, 8, 1, 1, 900), Bytes(899, 0x33)), Ends::NotValid,
       "a map one byte short"},
      {"maplength-768-cut", File(Header(1, 1, 8, 1, 1, 768), Bytes(100, 0x33)), Ends::NotValid,
       "a full map cut after 100 bytes"},
      {"index-past-short-map",
       File(Header(4, 1, 8, 1, 1, 6), {1, 2, 3, 4, 5, 6, 0xFF, 0x10, 2, 0x80}), Ends::Ok,
       "indices past a 2-entry map show black"},
      {"depth1-map-1-entry", File(Header(8, 1, 1, 1, 1, 3), {9, 9, 9, 0xAA, 0}), Ends::Ok,
       "a 1-bit image whose map has one entry"},

      // Depths, types, map types.
      {"depth-0", File(Header(1, 1, 0), row2), Ends::UnknownFormat, "no bits per pixel"},
      {"depth-2", File(Header(1, 1, 2), row2), Ends::UnknownFormat, "a depth the format lacks"},
      {"depth-4", File(Header(3, 1, 4), row2), Ends::Ok, "4-bit files are read as Indexed4"},
      {"depth-16", File(Header(1, 1, 16), row2), Ends::UnknownFormat, "a depth the format lacks"},
      {"depth-33", File(Header(1, 1, 33), Bytes(6, 0)), Ends::UnknownFormat, "past 32 bits"},
      {"depth-ffffffff", File(Header(1, 1, 0xFFFFFFFF), row2), Ends::UnknownFormat,
       "negative as a signed number"},
      {"type-4", File(Header(1, 1, 8, 4), row2), Ends::UnknownFormat, "an unknown storage type"},
      {"type-5", File(Header(1, 1, 8, 5), row2), Ends::UnknownFormat, "an unknown storage type"},
      {"type-ffff", File(Header(1, 1, 8, 0xFFFF), row2), Ends::UnknownFormat,
       "an unknown storage type"},
      {"maptype-2", File(Header(1, 1, 8, 1, 2, 6), Bytes(8, 1)), Ends::UnknownFormat,
       "an unknown colour-map type"},
      {"maptype-ffffffff", File(Header(1, 1, 8, 1, 0xFFFFFFFF, 6), Bytes(8, 1)),
       Ends::UnknownFormat, "an unknown colour-map type"},

      // Sizes.
      {"width-0", File(Header(0, 1, 8), row2), Ends::UnknownFormat, "rows without length"},
      {"width-minus-1", File(Header(0xFFFFFFFF, 1, 8), row2), Ends::UnknownFormat,
       "a negative width"},
      {"width-7fffffff-depth-8", File(Header(0x7FFFFFFF, 1, 8), row2), Ends::UnknownFormat,
       "width x depth overflows 32 bits"},
      {"width-7fffffff-depth-1", File(Header(0x7FFFFFFF, 1, 1), row2), Ends::EndsEarly,
       "a 256 MiB row fits the format but not the file: refused before allocating"},
      {"height-0", File(Header(1, 0, 8)), Ends::Ok, "an image without rows"},
      {"height-minus-1", File(Header(1, 0xFFFFFFFF, 8), row2), Ends::UnknownFormat,
       "a negative height"},
      {"height-7fffffff", File(Header(1, 0x7FFFFFFF, 8), row2), Ends::EndsEarly,
       "4 GiB of rows fit the length field but not the file: refused before allocating"},
      {"width-x-depth-wraps-to-0", File(Header(0x20000000, 1, 8), row2), Ends::UnknownFormat,
       "2^29 x 8 bits is 0 in 32-bit arithmetic"},
      {"width-x-depth-wraps-to-4", File(Header(0x40000001, 1, 4), row2), Ends::UnknownFormat,
       "(2^30 + 1) x 4 bits is 4 in 32-bit arithmetic"},
      {"depth32-width-2^27", File(Header(0x08000000, 1, 32), row2), Ends::UnknownFormat,
       "2^27 x 32 bits overflows a signed 32-bit row"},
      {"row-x-height-wraps-to-0", File(Header(0x8000, 0x20000, 8), row2), Ends::UnknownFormat,
       "32 KiB rows x 2^17 rows is 0 in the 32-bit length field"},
      {"height-7fffffff-row-4", File(Header(3, 0x7FFFFFFF, 8), row2), Ends::UnknownFormat,
       "4-byte rows x 2^31 - 1 rows overflows the 32-bit length field"},
      {"65535x65535x32-raw", File(Header(65535, 65535, 32)), Ends::UnknownFormat,
       "16 GiB: does not fit the 32-bit length field"},
      {"65535x65535x32-encoded", File(Header(65535, 65535, 32, 2)), Ends::UnknownFormat,
       "16 GiB: does not fit the 32-bit length field"},
      {"30000x30000x32-raw", File(Header(30000, 30000, 32)), Ends::EndsEarly,
       "3.6 GB fits the format but not a 32-byte file: refused before allocating"},
      {"30000x30000x32-encoded", File(Header(30000, 30000, 32, 2)), Ends::EndsEarly,
       "3.6 GB from no run-length data at all"},
      {"30000x30000x32-encoded-64k", File(Header(30000, 30000, 32, 2),
                                          Repeat({0x80, 0xFF, 0x00}, 21845)),
       Ends::EndsEarly, "64 KiB of the longest runs decode to 5.6 MB, not 1.8 GB"},
      {"100x100-over-pixel-limit", File(Header(100, 100, 8), Bytes(10000, 1)), Ends::TooLarge,
       "10000 pixels over a limit of 9999", 9999},

      // Run-length data.
      {"escape-cut-after-80", File(Header(1, 1, 8, 2), {0x80}), Ends::EndsEarly,
       "the file ends after the escape byte"},
      {"escape-cut-after-count", File(Header(1, 1, 8, 2), {0x80, 0x05}), Ends::EndsEarly,
       "the file ends before the run's value"},
      {"run-past-last-row", File(Header(1, 2, 8, 2), {0x80, 0xFF, 0x41}), Ends::Ok,
       "256 copies for 4 bytes of rows: the rest is dropped"},
      {"lone-80-00-80-00-80-in-row", File(Header(5, 1, 8, 2), {0x80, 0, 0x80, 0, 0x80}),
       Ends::EndsEarly, "two literal 0x80s, then an escape cut short inside the only row"},
      {"lone-80-00-80-00-80-trailing", File(Header(1, 1, 8, 2), {1, 2, 0x80, 0, 0x80, 0, 0x80}),
       Ends::Ok, "after the last row nothing is read"},
      {"encoded-two-of-three-rows", File(Header(1, 3, 8, 2), {1, 2, 3, 4, 0x80}),
       Ends::Incomplete, "two of three rows, then a cut escape"},
      {"raw-half-the-rows", File(Header(1, 4, 8), {1, 2, 3, 4}), Ends::EndsEarly,
       "two of four rows"},
      {"raw-three-of-four-rows", File(Header(1, 4, 8), {1, 2, 3, 4, 5, 6}), Ends::Incomplete,
       "three of four rows"},
  };
  return t;
}

// Valid files of every depth and storage type, each row encoded on its own so that a prefix's
// complete rows can be told from the offsets where rows end.
struct ValidFile {
  std::string name;
  Bytes bytes;
  std::size_t headerEnd;              // header and colour map
  std::vector<std::size_t> rowEnds;   // offset just past each row's data
};

std::vector<ValidFile> ValidFiles() {
  std::vector<ValidFile> files;
  for (std::uint32_t depth : {1u, 4u, 8u, 24u, 32u}) {
    for (std::uint32_t type : {0u, 1u, 2u, 3u}) {
      const std::uint32_t width = 5, height = 4;
      const std::uint32_t mapBytes = depth <= 8 ? 3u << depth : 0u;
      ValidFile f;
      f.name = "d" + std::to_string(depth) + "-t" + std::to_string(type);
      f.bytes = HeaderBytes(Header(width, height, depth, type, mapBytes ? 1 : 0, mapBytes));
      for (std::uint32_t i = 0; i < mapBytes; ++i) f.bytes.push_back(std::uint8_t(i * 7));
      f.headerEnd = f.bytes.size();
      const auto rowBytes = static_cast<std::size_t>(bytesPerRow(width, depth));
      for (std::uint32_t r = 0; r < height; ++r) {
        Bytes row(rowBytes);
        for (std::size_t i = 0; i < rowBytes; ++i) row[i] = std::uint8_t(i < 3 ? 0x80 : r * 40 + i);
        Append(f.bytes, type == 2 ? EncodeRuns(row) : row);
        f.rowEnds.push_back(f.bytes.size());
      }
      files.push_back(std::move(f));
    }
  }
  return files;
}

Ends PrefixEnds(const ValidFile& f, std::size_t length) {
  if (length < f.headerEnd) return Ends::NotValid;
  std::size_t rows = 0;
  while (rows < f.rowEnds.size() && f.rowEnds[rows] <= length) ++rows;
  if (rows == f.rowEnds.size()) return Ends::Ok;
  return rows > f.rowEnds.size() / 2 ? Ends::Incomplete : Ends::EndsEarly;
}

std::string Name(Ends e) {
  switch (e) {
    case Ends::Ok: return "ok";
    case Ends::Incomplete: return "incomplete";
    case Ends::NotValid: return "not valid";
    case Ends::UnknownFormat: return "unknown format";
    case Ends::EndsEarly: return "ends early";
    case Ends::TooLarge: return "too large";
  }
  return "?";
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
        return Ends::NotValid;
      case utl::ErrorKind::UnknownFormat: return Ends::UnknownFormat;
      case utl::ErrorKind::UnexpectedEof: return Ends::EndsEarly;
      case utl::ErrorKind::ImageTooLarge: return Ends::TooLarge;
      default:
        ADD_FAILURE() << "unexpected error: " << error.what();
        return Ends::NotValid;
    }
  }
  EXPECT_EQ(manager.m_images.size(), 1u);
  return manager.m_warnings.empty() ? Ends::Ok : Ends::Incomplete;
}

TEST(HostileFiles, EachEndsInItsErrorOrAValidImage) {
  TempDir dir;
  for (const Hostile& h : HostileFiles()) {
    EXPECT_EQ(Name(ImportInProcess(dir.Put(h.name, h.bytes), h.maxPixels)), Name(h.ends))
        << h.name << ": " << h.why;
  }
}

TEST(HostileFiles, EveryPrefixOfAValidFileEndsCleanly) {
  TempDir dir;
  for (const ValidFile& f : ValidFiles()) {
    for (std::size_t n = 0; n <= f.bytes.size(); ++n) {
      const Bytes prefix(f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(n));
      // A new file each time: rewriting one file makes some file systems flush it to disk.
      const std::string name = f.name + "-" + std::to_string(n) + ".ras";
      EXPECT_EQ(Name(ImportInProcess(dir.Put(name, prefix), 0)), Name(PrefixEnds(f, n)))
          << f.name << " cut to " << n << " of " << f.bytes.size() << " bytes";
    }
  }
}

#if !defined(_WIN32)

// The line qxhost prints for a file: "FILE: ok, ..." or "FILE: incomplete, ..." on standard
// output, "error: FILE: SENTENCE" on standard error.
std::string ExpectedLine(const std::string& file, Ends ends) {
  const std::wstring path = utl::FromUtf8(file);
  auto error = [&](utl::ErrorKind kind, const std::wstring& message = {}) {
    return "error: " + file + ": " + utl::CError(kind, L"", 0, path, message).what();
  };
  switch (ends) {
    case Ends::Ok: return file + ": ok, ";
    case Ends::Incomplete: return file + ": incomplete, ";
    case Ends::NotValid: return error(utl::ErrorKind::FileRead, L"Not a valid Sun Raster file.");
    case Ends::UnknownFormat: return error(utl::ErrorKind::UnknownFormat);
    case Ends::EndsEarly: return error(utl::ErrorKind::UnexpectedEof);
    case Ends::TooLarge: return "error: " + file + ": The image of ";
  }
  return {};
}

struct ChildResult {
  int exitCode = -1;  // -1 when killed by a signal
  int signal = 0;
  bool timedOut = false;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  const Bytes bytes = ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

constexpr rlim_t kAddressSpace = 256u << 20;
constexpr int kCpuSeconds = 5;
constexpr auto kWallClock = std::chrono::seconds(20);

// Runs qxhost with an address-space limit (or, under AddressSanitizer, whose shadow memory
// needs terabytes of address space, with ASan's own cap on any one allocation) and a time
// limit.
ChildResult RunQxhost(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), {QXHOST_BINARY, "--quiet"});
  const std::string outPath = (dir / "stdout.txt").string();
  const std::string errPath = (dir / "stderr.txt").string();
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    const rlimit cpu{kCpuSeconds, kCpuSeconds};
    setrlimit(RLIMIT_CPU, &cpu);
#  if defined(VEMRA_UNDER_ASAN)
    const char* inherited = std::getenv("ASAN_OPTIONS");
    const std::string options = std::string(inherited ? inherited : "") +
                                ":max_allocation_size_mb=64:allocator_may_return_null=0"
                                ":exitcode=86";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
#  else
    const rlimit as{kAddressSpace, kAddressSpace};
    setrlimit(RLIMIT_AS, &as);
#  endif
    execv(argv[0], argv.data());
    _exit(127);
  }
  ChildResult result;
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + kWallClock;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  return result;
}

bool HasLineStarting(const std::string& text, const std::string& start) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? end : end - at);
    if (line.rfind(start, 0) == 0) return true;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return false;
}

void ExpectCheckLine(const ChildResult& run, const std::string& file, Ends ends,
                     const std::string& what) {
  const bool toStdout = ends == Ends::Ok || ends == Ends::Incomplete;
  const std::string expected = ExpectedLine(file, ends);
  EXPECT_TRUE(HasLineStarting(toStdout ? run.out : run.err, expected))
      << what << "\nexpected a line starting: " << expected << "\nstdout:\n"
      << run.out << "stderr:\n" << run.err;
}

TEST(HostileFilesThroughQxhost, EachEndsInItsErrorWithinBoundedMemoryAndTime) {
  TempDir dir;
  for (const Hostile& h : HostileFiles()) {
    const std::string file = (dir / (h.name + ".ras")).string();
    WriteFile(file, h.bytes);
    std::vector<std::string> args;
    if (h.maxPixels) args = {"--max-pixels", std::to_string(h.maxPixels)};
    args.insert(args.end(), {"check", file});
    const ChildResult run = RunQxhost(dir, args);
    const std::string what = h.name + ": " + h.why;
    EXPECT_FALSE(run.timedOut) << what;
    EXPECT_EQ(run.signal, 0) << what << "\n" << run.err;
    EXPECT_EQ(run.exitCode, h.ends == Ends::Ok ? 0 : 1) << what << "\n" << run.err;
    ExpectCheckLine(run, file, h.ends, what);
  }
}

TEST(HostileFilesThroughQxhost, EveryPrefixOfAValidFileEndsCleanly) {
  TempDir dir;
  for (const ValidFile& f : ValidFiles()) {
    std::vector<std::string> files;
    for (std::size_t n = 0; n <= f.bytes.size(); ++n) {
      files.push_back((dir / (f.name + "-" + std::to_string(n) + ".ras")).string());
      WriteFile(files.back(), Bytes(f.bytes.begin(), f.bytes.begin() + std::ptrdiff_t(n)));
    }
    std::vector<std::string> args{"check"};
    args.insert(args.end(), files.begin(), files.end());
    const ChildResult run = RunQxhost(dir, args);
    EXPECT_FALSE(run.timedOut) << f.name;
    EXPECT_EQ(run.signal, 0) << f.name << "\n" << run.err;
    EXPECT_EQ(run.exitCode, 1) << f.name << ": its shorter prefixes fail";
    for (std::size_t n = 0; n < files.size(); ++n) {
      ExpectCheckLine(run, files[n], PrefixEnds(f, n),
                      f.name + " cut to " + std::to_string(n) + " bytes");
    }
  }
}

#endif  // !_WIN32

}  // namespace
}  // namespace vemra::test
