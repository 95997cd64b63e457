// Fault injection: reads that fail with an I/O error and writes that fail as on a full disk,
// at every byte offset of small files of each kind. A read fault must reach the host as its
// FileRead error, never as a success with wrong data or as a bad-file verdict; a write fault
// must end in the export's documented error with the target left exactly as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "rasterbytes.h"
#include "recordingmanager.h"
#include "sunexportfilter.h"
#include "sunimportfilter.h"
#include "testfiles.h"
#include "utl/bufferedfile.h"
#include "utl/colorformat.h"
#include "utl/error.h"

#if !defined(_WIN32)
#  include <signal.h>
#  include <sys/resource.h>
#endif

namespace vemra::test {
namespace {

// Sets the host's fault offsets for files opened from now on, and clears them on the way out.
class FaultScope {
public:
  explicit FaultScope(std::int64_t failReadAfter, std::int64_t failWriteAfter) {
    utl::SetFileFaults({failReadAfter, failWriteAfter});
  }
  ~FaultScope() { utl::SetFileFaults({}); }
  FaultScope(const FaultScope&) = delete;
  FaultScope& operator=(const FaultScope&) = delete;
};

struct Picture {
  int width = 0, height = 0;
  utl::ColorFormat format = utl::ColorFormatUnknown;
  Bytes pixels;
  Bytes table;
  bool operator==(const Picture& o) const {
    return width == o.width && height == o.height && format == o.format &&
           pixels == o.pixels && table == o.table;
  }
};

Picture Snapshot(const qxio::TrImage& image) {
  Picture p{image.GetWidth(), image.GetHeight(), image.GetColorFormat(), {}, {}};
  for (int y = 0; y < p.height; ++y) {
    p.pixels.insert(p.pixels.end(), image.Row(y), image.Row(y) + image.RowBytes());
  }
  std::vector<RGBQUAD> table(image.GetNumColorTableEntriesUsed());
  if (!table.empty()) image.GetColorTable(table.data(), 0, static_cast<int>(table.size()));
  const auto* raw = reinterpret_cast<const std::uint8_t*>(table.data());
  p.table.assign(raw, raw + table.size() * sizeof(RGBQUAD));
  return p;
}

// Small valid files of every depth and storage type, with a colour map at depths 1 to 8.
std::vector<std::pair<std::string, Bytes>> ValidFiles() {
  std::vector<std::pair<std::string, Bytes>> files;
  for (std::uint32_t depth : {1u, 4u, 8u, 24u, 32u}) {
    for (std::uint32_t type : {0u, 1u, 2u, 3u}) {
      const std::uint32_t width = 5, height = 3;
      const std::uint32_t mapBytes = depth <= 8 ? 3u << (depth < 8 ? depth : 4) : 0u;
      HeaderFields h;
      h.width = width, h.height = height, h.depth = depth, h.type = type;
      h.maptype = mapBytes ? 1 : 0, h.maplength = mapBytes;
      Bytes file = HeaderBytes(h);
      for (std::uint32_t i = 0; i < mapBytes; ++i) file.push_back(std::uint8_t(i * 5 + 1));
      Bytes pixels(static_cast<std::size_t>(bytesPerRow(width, depth)) * height);
      for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = std::uint8_t(i < 4 ? 0x80 : i * 37);
      }
      Append(file, type == 2 ? EncodeRuns(pixels) : pixels);
      files.emplace_back("d" + std::to_string(depth) + "-t" + std::to_string(type), file);
    }
  }
  return files;
}

struct ImportResult {
  std::optional<Picture> picture;
  std::optional<utl::ErrorKind> kind;
  std::wstring message, path;
};

ImportResult Import(SunImportFilter& filter, RecordingManager& manager, const std::wstring& path) {
  manager.Clear();
  ImportResult result;
  try {
    filter.ImportFromFile(path);
  } catch (const utl::IError& error) {
    result.kind = error.Kind();
    result.message = error.Message();
    result.path = error.Path();
    EXPECT_TRUE(manager.m_images.empty());
    return result;
  }
  EXPECT_EQ(manager.m_images.size(), 1u);
  EXPECT_TRUE(manager.m_warnings.empty());
  if (!manager.m_images.empty()) result.picture = Snapshot(*manager.m_images.front());
  return result;
}

TEST(ReadFaults, EveryReadOfTheImportReportsTheHostsReadError) {
  TempDir dir;
  for (const auto& [name, bytes] : ValidFiles()) {
    const std::wstring path = dir.Put(name + ".ras", bytes);
    RecordingManager manager;
    SunImportFilter filter(manager);
    const ImportResult clean = Import(filter, manager, path);
    ASSERT_TRUE(clean.picture) << name;

    const auto size = static_cast<std::int64_t>(bytes.size());
    for (std::int64_t offset = 0; offset <= size; ++offset) {
      std::optional<FaultScope> faults(std::in_place, offset, -1);
      const ImportResult faulty = Import(filter, manager, path);
      faults.reset();
      const std::string where = name + ", read fault at byte " + std::to_string(offset);
      if (offset == size) {
        // Nothing is read past the end of the data, so a fault there is never reached.
        EXPECT_TRUE(faulty.picture && *faulty.picture == *clean.picture) << where;
        continue;
      }
      EXPECT_FALSE(faulty.picture) << where << ": imported despite a failed read";
      EXPECT_EQ(faulty.kind, utl::ErrorKind::FileRead) << where;
      EXPECT_NE(faulty.message, L"Not a valid Sun Raster file.")
          << where << ": the I/O error became a verdict on the file";
      EXPECT_EQ(faulty.path, path) << where;
      // The failed import left its file open; the next one on the same filter recovers.
      const ImportResult again = Import(filter, manager, path);
      EXPECT_TRUE(again.picture && *again.picture == *clean.picture) << where << ", then again";
    }
  }
}

constexpr const wchar_t* kHeaderWriteMessage =
    L"Failed formatting data for writing and/or failed writing data to file";
constexpr const wchar_t* kRowWriteMessage = L"File write failed";

// The depth the export writes for a format; header and colour map come before the rows.
int ExportDepth(utl::ColorFormat format) {
  switch (format) {
    case utl::Gray1:
    case utl::Indexed1: return 1;
    case utl::Gray4:
    case utl::Gray8:
    case utl::Indexed4:
    case utl::Indexed8: return 8;
    case utl::BGRA32: return 32;
    default: return 24;
  }
}

std::int64_t HeaderAndMapBytes(utl::ColorFormat format) {
  const int depth = ExportDepth(format);
  return 32 + (depth <= 8 ? 3 << depth : 0);
}

qxio::TrImage SmallImage(utl::ColorFormat format) {
  const RGBQUAD table[3] = {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}};
  qxio::TrImage image;
  image.SetScanlineStart(5, 3, format, 0, 0, table, qxio::RowAccessByIndex, 3, nullptr);
  Bytes row(image.RowBytes());
  for (int y = 0; y < 3; ++y) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = std::uint8_t(y * 50 + i * 13);
    image.SetScanline(row.data(), y);
  }
  return image;
}

struct ExportRun {
  std::optional<utl::ErrorKind> kind;
  std::wstring message, path;
  std::optional<qxio::ExportStatus> ended;  // empty when the filter was destroyed instead
};

// BeginExport, the graphics request, the image, then EndExport or destruction.
ExportRun Export(const qxio::TrImage& image, const std::wstring& target, bool endExport) {
  RecordingManager manager;
  SunExportFilter filter(manager);
  ExportRun run;
  filter.BeginExport(target);
  qxio::TrInitGraphicsExp init;
  filter.ExportObject(init);
  try {
    filter.ExportObject(const_cast<qxio::TrImage&>(image));
  } catch (const utl::IError& error) {
    run.kind = error.Kind();
    run.message = error.Message();
    run.path = error.Path();
  }
  if (endExport) run.ended = filter.EndExport();
  return run;
}

TEST(WriteFaults, EveryWriteOfTheExportFailsCleanlyAndKeepsTheTarget) {
  const Bytes before{'k', 'e', 'e', 'p', ' ', 'm', 'e'};
  for (int f = 1; f < utl::kColorFormatCount; ++f) {
    const auto format = static_cast<utl::ColorFormat>(f);
    const qxio::TrImage image = SmallImage(format);
    TempDir dir;
    const std::wstring target = dir.Wide("image.ras");
    ASSERT_FALSE(Export(image, target, true).kind) << "format " << f;
    const Bytes written = ReadFile(dir / "image.ras");
    const auto size = static_cast<std::int64_t>(written.size());

    for (std::int64_t offset = 0; offset <= size; ++offset) {
      const std::string where = "format " + std::to_string(f) + ", write fault at byte " +
                                std::to_string(offset) + " of " + std::to_string(size);
      // A target that existed before, then EndExport; a new target, then destruction.
      for (const bool existed : {true, false}) {
        if (existed) {
          WriteFile(dir / "image.ras", before);
        } else {
          std::filesystem::remove(dir / "image.ras");
        }
        ExportRun run;
        {
          FaultScope faults(-1, offset);
          run = Export(image, target, existed);
        }
        if (offset == size) {
          // The fault is never reached: EndExport puts the file in place; an export abandoned
          // without EndExport leaves nothing.
          EXPECT_FALSE(run.kind) << where;
          if (existed) {
            EXPECT_EQ(ReadFile(dir / "image.ras"), written) << where;
          } else {
            EXPECT_TRUE(dir.List().empty()) << where;
          }
          continue;
        }
        EXPECT_EQ(run.kind, utl::ErrorKind::FileWrite) << where;
        EXPECT_EQ(run.message, offset < HeaderAndMapBytes(format) ? kHeaderWriteMessage
                                                                  : kRowWriteMessage)
            << where;
        EXPECT_EQ(run.path, target) << where;
        if (existed) {
          EXPECT_EQ(run.ended, qxio::ExportNothingExported) << where;
          EXPECT_EQ(dir.List(), std::vector<std::string>{"image.ras"}) << where;
          EXPECT_EQ(ReadFile(dir / "image.ras"), before) << where;
        } else {
          EXPECT_TRUE(dir.List().empty()) << where << ": a file was left behind";
        }
      }
    }
  }
}

#if !defined(_WIN32)

// Sets the largest file this process may write (RLIMIT_FSIZE) until destroyed. A write past it
// fails in the system with EFBIG, as a full disk fails: in the buffered file's flushes too,
// which the host's hook does not reach.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_saved);
    const rlimit limit{bytes, m_saved.rlim_max};
    m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool Set() const { return m_set; }

private:
  rlimit m_saved{};
  bool m_set = false;
};

TEST(WriteFaults, TheSystemRefusingWritesNeverCostsTheTarget) {
  // A small image stays in the file's buffer until EndExport flushes it; a large one is
  // flushed while its rows are written.
  struct Case {
    const char* name;
    int width, height;
  } cases[] = {{"small", 5, 3}, {"larger than the file buffer", 400, 300}};
  const Bytes before{'k', 'e', 'e', 'p', ' ', 'm', 'e'};
  for (const Case& c : cases) {
    qxio::TrImage image;
    image.SetScanlineStart(c.width, c.height, utl::BGR24, 0, 0, nullptr, qxio::RowAccessByIndex,
                           0, nullptr);
    TempDir dir;
    const std::wstring target = dir.Wide("image.ras");
    const std::int64_t size = 32 + bytesPerRow(c.width, 24) * c.height;
    for (std::int64_t limit : {std::int64_t{0}, std::int64_t{1}, std::int64_t{32}, size / 2,
                               std::int64_t{256 * 1024}, size - 1}) {
      if (limit >= size) continue;
      const std::string where = std::string(c.name) + ", files limited to " +
                                std::to_string(limit) + " of " + std::to_string(size) + " bytes";
      WriteFile(dir / "image.ras", before);
      std::optional<utl::ErrorKind> objectError, endError;
      std::optional<qxio::ExportStatus> ended;
      {
        FileSizeLimit fileSize(static_cast<rlim_t>(limit));
        ASSERT_TRUE(fileSize.Set()) << where;
        RecordingManager manager;
        SunExportFilter filter(manager);
        filter.BeginExport(target);
        try {
          filter.ExportObject(image);
        } catch (const utl::IError& error) {
          objectError = error.Kind();
        }
        try {
          ended = filter.EndExport();
        } catch (const utl::IError& error) {
          endError = error.Kind();
        }
      }
      if (objectError) {
        EXPECT_EQ(objectError, utl::ErrorKind::FileWrite) << where;
        EXPECT_EQ(ended, qxio::ExportNothingExported) << where;
      } else {
        EXPECT_EQ(endError, utl::ErrorKind::FileWrite) << where << ": the failed flush was lost";
      }
      EXPECT_EQ(dir.List(), std::vector<std::string>{"image.ras"}) << where;
      EXPECT_EQ(ReadFile(dir / "image.ras"), before) << where;
    }
  }
}

#endif  // !_WIN32

}  // namespace
}  // namespace vemra::test
