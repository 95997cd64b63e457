// Hostile and malformed files (tests/data/hostile/, hostile-png/ and hostile-pnm/, each with its
// verdicts.txt), every prefix of the files of tests/data/read, and reads failing under the import:
// each import ends in its verdict (docs/hostile-files.md), in process through the import filters
// and, where processes can be started, through `qxhost check` with bounded memory and time.

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "faultyfiles.h"
#include "pnmimportfilter.h"
#include "sunimportfilter.h"
#if defined(VEMRA_TEST_PNG)
#include "pngimportfilter.h"
#endif
#include "testsupport.h"
#include "utl/text.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace vemra::test {
namespace {

const std::vector<std::string> kEnds = {"not-valid", "ends-early",     "incomplete",
                                        "ok",        "unknown-format", "too-large"};

std::string VerdictOf(const Imported& imported) {
  using utl::ErrorKind;
  if (!imported.error) return imported.warnings ? "incomplete" : "ok";
  const ErrorKind kind = imported.error->Kind();
  return kind == ErrorKind::FileRead        ? "not-valid"
         : kind == ErrorKind::UnknownFormat ? "unknown-format"
         : kind == ErrorKind::UnexpectedEof ? "ends-early"
         : kind == ErrorKind::ImageTooLarge ? "too-large"
                                            : imported.error->what();
}

struct Row {
  std::string file, verdict, limit, fault;  // for "@VERDICT" rows, fault holds qxhost's line
};

std::vector<Row> Verdicts(const char* folder = "hostile") {
  std::ifstream in(DataDir() / folder / "verdicts.txt");
  std::vector<Row> rows;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Row row;
    if (line.empty() || line[0] == '#' || !(fields >> row.file)) continue;
    if (row.file[0] != '@' && !(fields >> row.verdict >> row.limit)) continue;
    std::getline(fields >> std::ws, row.fault);
    rows.push_back(row);
  }
  EXPECT_GT(rows.size(), 40u) << folder << "/verdicts.txt";
  return rows;
}

// The import ends in the file's verdict, a refusal with the reason its row gives; a refused PNG
// is the host's read error whatever its verdict (the pixel limit's, for too large an image), and
// "not a PNG" is qxhost's word, not the filter's. A PNM file is refused as a Sun raster file is.
// (The import fuzz targets, which run on these files too, check that the probe answers by the magic
// number or the signature alone, and that the file information describes exactly the files whose
// header can be read.)
TEST(Hostile, EachFileEndsInItsVerdict) {
  for (const std::string folder : {"hostile", "hostile-png", "hostile-pnm"}) {
    const bool png = folder == "hostile-png";
    for (const Row& row : Verdicts(folder.c_str())) {
      if (row.file[0] == '@') continue;
      const fs::path path = DataDir() / folder / row.file;
      TestManager manager;
      if (row.limit != "-") manager.SetMaxPixels(std::stoull(row.limit));
      SunImportFilter sun(manager);
      pnmio::PnmImportFilter pnm(manager);
      qxio::IoImportFilter* filter = &sun;
      if (folder == "hostile-pnm") filter = &pnm;
#if defined(VEMRA_TEST_PNG) && !defined(_WIN32)
      pngio::PngImportFilter pngFilter(manager);
      if (png) filter = &pngFilter;
#else
      if (png) continue;  // Windows decodes PNG with the system's codec, whose verdicts are its own
#endif
      const Imported imported = Import(*filter, manager, Wide(path));
      const bool refused = png && row.verdict != "ok" && row.verdict != "too-large";
      EXPECT_EQ(VerdictOf(imported), refused ? "not-valid" : row.verdict)
          << path << ": " << row.fault;
      if (row.fault[0] == '"' && !(png && row.verdict == "unknown-format")) {
        EXPECT_EQ(imported.error ? utl::ToUtf8(imported.error->Reason()) : "",
                  row.fault.substr(1, row.fault.find('"', 1) - 1))
            << path;
      }
    }
  }
  TestManager manager;  // and files that are not there
  EXPECT_FALSE(SunImportFilter(manager).CanImportFile(Wide(DataDir() / "missing.ras")));
  EXPECT_FALSE(pnmio::PnmImportFilter(manager).CanImportFile(Wide(DataDir() / "missing.pnm")));
}

// Each file of tests/data/read cut short, and failing to read. Cut short in its header or colour
// map a file is not valid; then a raw file ends early while at most half of its rows are whole, is
// incomplete while some are missing, and is ok with all. Run-length rows end where their data says:
// there the verdicts only move on in that order. An incomplete raw file reports the rows it has.
// A read error in the header, the colour map, the first, a middle and the last row reaches the
// host as its own error for the file, never as a verdict on the file; the filter then imports the
// file as it would have. A fault past the last byte is never reached. A file that shrinks there
// while it is read, its length read before, ends as the file cut there does.
TEST(Hostile, EveryPrefixOfAReadableFileAndReadsFailingInIt) {
  TempDir dir;
  for (const fs::path& source : FilesIn(DataDir() / "read", {".ras"})) {
    const Bytes whole = ReadFile(source);
    const bool swapped = Be32(whole, 0) == 0x956AA659;  // a little-endian header
    const auto field = [&](int i) {
      return swapped ? __builtin_bswap32(Be32(whole, i)) : Be32(whole, i);
    };
    const std::int64_t height = field(8);
    const std::int64_t rowBytes = (std::int64_t{field(4)} * field(12) + 15) / 16 * 2;
    const std::uint32_t maptype = field(24), maplength = field(28);
    const std::size_t data = 32 + (maptype == 1 ? maplength / 3 * 3 : maptype ? maplength : 0);
    std::size_t reached = 0;
    std::vector<std::string> verdicts(whole.size() + 1, "ok");  // of each prefix
    for (std::size_t n = 0; n < whole.size(); ++n) {
      WriteFile(dir / "prefix.ras", Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(n)));
      const Imported imported = Import(dir / "prefix.ras");
      const std::string verdict = VerdictOf(imported);
      const std::int64_t rows = n < data ? 0 : std::int64_t(n - data) / rowBytes;
      if (verdict == "incomplete" && field(20) != 2) {  // each row counted once, pad-last too
        ASSERT_EQ(imported.image->RowsSet(), rows) << source << " cut to " << n;
      }
      const std::size_t at = std::find(kEnds.begin(), kEnds.end(), verdict) - kEnds.begin();
      reached = n < data         ? 0
                : field(20) == 2 ? std::max(reached, std::min<std::size_t>(at, 3))
                : rows >= height ? 3
                                 : 1 + (rows > height / 2);
      ASSERT_EQ(verdict, kEnds[reached]) << source << " cut to " << n;
      verdicts[n] = verdict;
    }
    const std::int64_t size = std::int64_t(whole.size()), start = std::int64_t(data);
    const Rgb clean = ImageRgb(*Import(source).image);
    const std::int64_t map = std::min<std::int64_t>(32, start - 1);  // or the header's end
    for (std::int64_t offset :
         {std::int64_t{0}, std::int64_t{20}, map, start, (start + size) / 2, size - 1, size}) {
      SCOPED_TRACE(source.filename().string() + ", read fault at byte " + std::to_string(offset));
      TestManager manager;
      SunImportFilter filter(manager);
      SetFileFaults({offset, -1});  // for the files opened while it is set
      Imported imported = Import(filter, manager, Wide(source));
      SetFileFaults({});
      if (offset < size) {
        ASSERT_TRUE(imported.error);
        EXPECT_EQ(imported.error->Kind(), utl::ErrorKind::FileRead);
        EXPECT_NE(imported.error->Message(), L"Not a valid Sun Raster file.");
        EXPECT_EQ(imported.error->Path(), Wide(source));
        imported = Import(filter, manager, Wide(source));
      }
      ExpectSameRgb(ImageRgb(*imported.image), clean);
      SetFileFaults({offset, -1, 0, false, true});  // the file ends there
      imported = Import(filter, manager, Wide(source));
      SetFileFaults({});
      EXPECT_EQ(VerdictOf(imported), verdicts[std::size_t(offset)]) << "shrunk";
    }
  }
}

#if defined(QXHOST_BINARY) && !defined(_WIN32)
// One run per pixel limit, with 256 MiB of address space (under a sanitizer, whose shadow memory
// needs terabytes of it, a cap of 64 MiB on any one allocation), 5 s of CPU and 20 s in
// all: qxhost prints for each file the line of its verdict.
TEST(Hostile, QxhostCheckSaysEachVerdictWithinBoundedMemoryAndTime) {
  std::map<std::string, std::string> lines;  // verdict -> regular expression, FILE for the path
  std::map<std::pair<std::string, std::string>, std::vector<Row>> runs;  // folder, limit
  for (const char* folder : {"hostile", "hostile-png", "hostile-pnm"}) {
    for (const Row& row : Verdicts(folder)) {
      if (row.file[0] == '@') lines[folder + row.file.substr(1)] = row.fault;
      if (row.file[0] != '@') runs[{folder, row.limit}].push_back(row);
    }
  }
  TempDir dir;
  for (const auto& [run, rows] : runs) {
    const auto& [folder, limit] = run;
#if defined(VEMRA_SANITIZER_OPTIONS)
    const char* inherited = std::getenv(VEMRA_SANITIZER_OPTIONS);
    std::string command = "ulimit -t 5 && " VEMRA_SANITIZER_OPTIONS "='" +
                          std::string(inherited ? inherited : "") +
                          ":max_allocation_size_mb=64:allocator_may_return_null=0:exitcode=86' ";
#else
    std::string command = "ulimit -t 5 && ulimit -v 262144 && ";
#endif
    const std::uint64_t pixels =
        limit == "-" ? qxio::IoManager::kDefaultMaxPixels : std::stoull(limit);
    command += "cd '" + (DataDir() / folder).string() + "' && exec timeout -s KILL 20 '" +
               QXHOST_BINARY "' --quiet --max-pixels " + std::to_string(pixels) + " check";
    bool allOk = true;
    for (const Row& row : rows) command += " " + row.file, allOk = allOk && row.verdict == "ok";
    const int status = std::system(
        (command + " >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'")
            .c_str());
    Bytes bytes = ReadFile(dir / "out"), err = ReadFile(dir / "err");
    bytes.insert(bytes.end(), err.begin(), err.end());
    const std::string output(bytes.begin(), bytes.end());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (allOk ? 0 : 1)) << output;
    for (const Row& row : rows) {  // the names hold no character special to a regex but '.'
      const std::string line =
          std::regex_replace(lines.at(folder + row.verdict), std::regex("FILE"), row.file);
      EXPECT_TRUE(std::regex_search(output, std::regex("(^|\n)" + line + "\n")))
          << row.file << ": " << row.fault << "\n"
          << output;
    }
  }
}
#endif

}  // namespace
}  // namespace vemra::test
