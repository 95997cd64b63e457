// Fault injection: reads that fail with an I/O error and writes that fail as on a full disk,
// at every byte offset of small files of each kind. A read fault must reach the host as its
// FileRead error, never as a success with wrong data or as a bad-file verdict; a write fault
// must end in the export's documented error with the target left exactly as it was.
#include <gtest/gtest.h>

#include <cstdint>
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

// Sets the host's fault offsets (-1: none) for files opened from now on, until destroyed.
struct FaultScope {
  FaultScope(std::int64_t failReadAfter, std::int64_t failWriteAfter) {
    utl::SetFileFaults({failReadAfter, failWriteAfter});
  }
  ~FaultScope() { utl::SetFileFaults({}); }
};

// An image's size, format, pixels and colour table as bytes, or the error its import raised.
struct Outcome {
  std::optional<utl::ErrorKind> kind;
  std::wstring message, path;
  Bytes image;
};

Outcome Import(SunImportFilter& filter, RecordingManager& manager, const std::wstring& path) {
  manager.Clear();
  Outcome result;
  try {
    filter.ImportFromFile(path);
  } catch (const utl::IError& error) {
    EXPECT_TRUE(manager.m_images.empty());
    return {error.Kind(), error.Message(), error.Path(), {}};
  }
  EXPECT_EQ(manager.m_images.size(), 1u);
  EXPECT_TRUE(manager.m_warnings.empty());
  if (manager.m_images.empty()) return result;
  const qxio::TrImage& image = *manager.m_images.front();
  AppendBe32(result.image, std::uint32_t(image.GetWidth()));
  AppendBe32(result.image, std::uint32_t(image.GetHeight()));
  AppendBe32(result.image, std::uint32_t(image.GetColorFormat()));
  for (int y = 0; y < image.GetHeight(); ++y) {
    result.image.insert(result.image.end(), image.Row(y), image.Row(y) + image.RowBytes());
  }
  std::vector<RGBQUAD> table(image.GetNumColorTableEntriesUsed());
  if (!table.empty()) image.GetColorTable(table.data(), 0, static_cast<int>(table.size()));
  for (const RGBQUAD& q : table) Append(result.image, {q.rgbBlue, q.rgbGreen, q.rgbRed});
  return result;
}

TEST(ReadFaults, EveryReadOfTheImportReportsTheHostsReadError) {
  TempDir dir;
  // A 5 x 3 file of every depth and storage type, with a colour map at depths 1 to 8.
  for (std::uint32_t depth : {1u, 4u, 8u, 24u, 32u}) {
    for (std::uint32_t type : {0u, 1u, 2u, 3u}) {
      const std::uint32_t mapBytes = depth <= 8 ? 3u << (depth < 8 ? depth : 4) : 0u;
      HeaderFields h;
      h.width = 5, h.height = 3, h.depth = depth, h.type = type;
      h.maptype = mapBytes ? 1 : 0, h.maplength = mapBytes;
      Bytes bytes = HeaderBytes(h);
      for (std::uint32_t i = 0; i < mapBytes; ++i) bytes.push_back(std::uint8_t(i * 5 + 1));
      Bytes pixels(static_cast<std::size_t>(bytesPerRow(5, depth)) * 3);
      for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = std::uint8_t(i < 4 ? 0x80 : i * 37);
      }
      Append(bytes, type == 2 ? EncodeRuns(pixels) : pixels);

      const std::string name = "d" + std::to_string(depth) + "-t" + std::to_string(type);
      const std::wstring path = dir.Put(name + ".ras", bytes);
      RecordingManager manager;
      SunImportFilter filter(manager);
      const Outcome clean = Import(filter, manager, path);
      ASSERT_FALSE(clean.kind) << name;
      for (std::size_t offset = 0; offset <= bytes.size(); ++offset) {
        const std::string where = name + ", read fault at byte " + std::to_string(offset);
        std::optional<FaultScope> faults(std::in_place, std::int64_t(offset), -1);
        const Outcome faulty = Import(filter, manager, path);
        faults.reset();
        if (offset == bytes.size()) {
          // Nothing is read past the end of the data, so a fault there is never reached.
          EXPECT_TRUE(!faulty.kind && faulty.image == clean.image) << where;
          continue;
        }
        EXPECT_EQ(faulty.kind, utl::ErrorKind::FileRead) << where;
        EXPECT_NE(faulty.message, L"Not a valid Sun Raster file.")
            << where << ": the I/O error became a verdict on the file";
        EXPECT_EQ(faulty.path, path) << where;
        // The failed import left its file open; the next one on the same filter recovers.
        const Outcome again = Import(filter, manager, path);
        EXPECT_TRUE(!again.kind && again.image == clean.image) << where << ", then again";
      }
    }
  }
}

// BeginExport, the graphics request, the image, then EndExport (its status) or destruction.
Outcome Export(qxio::TrImage& image, const std::wstring& target, bool end,
               std::optional<qxio::ExportStatus>& ended) {
  RecordingManager manager;
  SunExportFilter filter(manager);
  Outcome run;
  filter.BeginExport(target);
  qxio::TrInitGraphicsExp init;
  filter.ExportObject(init);
  try {
    filter.ExportObject(image);
  } catch (const utl::IError& error) {
    run = {error.Kind(), error.Message(), error.Path(), {}};
  }
  if (end) {
    try {
      ended = filter.EndExport();
    } catch (const utl::IError& error) {
      run = {error.Kind(), error.Message(), error.Path(), {}};
    }
  }
  return run;
}

qxio::TrImage Image(utl::ColorFormat format, int width, int height) {
  const RGBQUAD table[3] = {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}};
  qxio::TrImage image;
  image.SetScanlineStart(width, height, format, 0, 0, table, qxio::RowAccessByIndex, 3, nullptr);
  Bytes row(image.RowBytes());
  for (int y = 0; y < height; ++y) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = std::uint8_t(y * 50 + i * 13);
    image.SetScanline(row.data(), y);
  }
  return image;
}

const Bytes kBefore{'k', 'e', 'e', 'p', ' ', 'm', 'e'};

TEST(WriteFaults, EveryWriteOfTheExportFailsCleanlyAndKeepsTheTarget) {
  for (int f = 1; f < utl::kColorFormatCount; ++f) {
    const auto format = static_cast<utl::ColorFormat>(f);
    qxio::TrImage image = Image(format, 5, 3);
    TempDir dir;
    const std::wstring target = dir.Wide("image.ras");
    std::optional<qxio::ExportStatus> ended;
    ASSERT_FALSE(Export(image, target, true, ended).kind) << "format " << f;
    const Bytes written = ReadFile(dir / "image.ras");
    // Header and colour map: the export writes 1 bit for the 1-bit formats, 8 for the other
    // grey and indexed ones (4-bit pixels one per byte), else 24 or 32.
    const int bits = utl::BitsPerPixel(format);
    const std::size_t headerEnd = 32 + (bits > 8 ? 0 : bits == 1 ? 6 : 768);

    for (std::size_t offset = 0; offset <= written.size(); ++offset) {
      const std::string where = "format " + std::to_string(f) + ", write fault at byte " +
                                std::to_string(offset) + " of " + std::to_string(written.size());
      // A target that existed before, then EndExport; a new target, then destruction.
      for (const bool existed : {true, false}) {
        if (existed) WriteFile(dir / "image.ras", kBefore);
        if (!existed) std::filesystem::remove(dir / "image.ras");
        ended.reset();
        Outcome run;
        {
          FaultScope faults(-1, std::int64_t(offset));
          run = Export(image, target, existed, ended);
        }
        const std::vector<std::string> files = dir.List();
        if (offset == written.size()) {
          // Never reached: EndExport puts the file in place; without it nothing is left.
          EXPECT_FALSE(run.kind) << where;
          EXPECT_EQ(files.size(), existed ? 1u : 0u) << where;
          if (existed) {
            EXPECT_EQ(ReadFile(dir / "image.ras"), written) << where;
          }
          continue;
        }
        EXPECT_EQ(run.kind, utl::ErrorKind::FileWrite) << where;
        EXPECT_EQ(run.message, offset < headerEnd
                                   ? L"Failed formatting data for writing and/or failed "
                                     L"writing data to file"
                                   : L"File write failed")
            << where;
        EXPECT_EQ(run.path, target) << where;
        EXPECT_EQ(files.size(), existed ? 1u : 0u) << where << ": a file was left behind";
        if (existed) {
          EXPECT_EQ(ended, qxio::ExportNothingExported) << where;
          EXPECT_EQ(ReadFile(dir / "image.ras"), kBefore) << where;
        }
      }
    }
  }
}

#if !defined(_WIN32)

// The system refusing writes past a file size (RLIMIT_FSIZE, EFBIG as on a full disk) fails
// the buffered file's flushes too, which the host's hook does not reach: a small image stays
// in the buffer until EndExport, a large one is flushed while its rows are written.
TEST(WriteFaults, TheSystemRefusingWritesNeverCostsTheTarget) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  for (const auto& [width, height] : {std::pair{5, 3}, std::pair{400, 300}}) {
    qxio::TrImage image = Image(utl::BGR24, width, height);
    TempDir dir;
    const std::int64_t size = 32 + bytesPerRow(width, 24) * height;
    for (const std::int64_t limit : {std::int64_t{0}, std::int64_t{32}, size / 2, size - 1}) {
      const std::string where = std::to_string(width) + " wide, files limited to " +
                                std::to_string(limit) + " of " + std::to_string(size) + " bytes";
      WriteFile(dir / "image.ras", kBefore);
      std::optional<qxio::ExportStatus> ended;
      const rlimit limited{rlim_t(limit), saved.rlim_max};
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0) << where;
      const Outcome run = Export(image, dir.Wide("image.ras"), true, ended);
      setrlimit(RLIMIT_FSIZE, &saved);
      EXPECT_EQ(run.kind, utl::ErrorKind::FileWrite) << where << ": the failed write was lost";
      EXPECT_NE(ended, qxio::ExportDone) << where;
      EXPECT_EQ(dir.List(), std::vector<std::string>{"image.ras"}) << where;
      EXPECT_EQ(ReadFile(dir / "image.ras"), kBefore) << where;
    }
  }
}

#endif  // !_WIN32

}  // namespace
}  // namespace vemra::test
