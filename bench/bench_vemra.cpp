// The codec and the filters on 8192 x 8192 images: SunRasterReader from a file in the page
// cache into one row buffer; SunRasterWriter from an image in memory into a file and into the
// null device; a whole import into a TrImage that the manager takes over (as qxhost does); a
// whole export of a TrImage. Bytes per second count image bytes. The files are written by the
// project's writer (benchfiles.cpp).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "benchfolder.h"
#include "pixcv/pixels.h"
#include "qxio/manager.h"
#include "qxio/transport.h"
#include "sunexportfilter.h"
#include "sunimportfilter.h"
#include "sunrasterreader.h"
#include "sunrasterwriter.h"
#include "utl/bufferedfile.h"
#include "utl/colorformat.h"
#include "utl/rgbquad.h"
#include "utl/text.h"

namespace {

using namespace vemra::bench;

void ReadImage(benchmark::State& state, FileShape shape) {
  const BenchFile& file = GetBenchFile(shape);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(FileRowBytes(shape)) + 4);
  std::int64_t decoded = 0;
  for (auto _ : state) {
    utl::CBufferedFile input;
    input.Open(file.widePath, "rb", utl::ShareRead, false);
    vemra::SunRasterReader reader;
    if (reader.ReadHeader(&input) != vemra::kReadOk) {
      state.SkipWithError("ReadHeader failed");
      break;
    }
    for (int y = 0; y < reader.ImageHeight(); ++y) {
      if (reader.ReadScanline(row.data()) != vemra::kReadOk) {
        state.SkipWithError("ReadScanline failed");
        break;
      }
    }
    benchmark::DoNotOptimize(row.data());
    benchmark::ClobberMemory();
    decoded = std::int64_t{reader.BytesPerRow()} * reader.ImageHeight();
    reader.Reset();
    input.Close();
  }
  state.SetBytesProcessed(state.iterations() * decoded);
  state.counters["file_bytes"] = static_cast<double>(file.bytes);
}

// Rows in memory order for the writer: the whole image, as an export would hand it over.
std::vector<std::uint8_t> MemoryImage(const FileShape& shape, std::size_t rowBytes) {
  std::vector<std::uint8_t> image(rowBytes * static_cast<std::size_t>(shape.height));
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 12));
  }
  return image;
}

// toNull: the null device takes the bytes, so only the codec and the buffered file are timed.
void WriteImage(benchmark::State& state, FileShape shape, bool toNull) {
  const std::size_t memoryRowBytes = pixcv::PackedRowBytes(shape.width, shape.depth);
  const std::vector<std::uint8_t> image = MemoryImage(shape, memoryRowBytes);
  RGBQUAD palette[256] = {};
  const std::wstring path = toNull ? std::wstring(L"/dev/null")
                                   : utl::FromUtf8(OutputPath("write-" + Describe(shape) + ".ras"));
  std::int64_t written = 0;
  for (auto _ : state) {
    utl::CBufferedFile output;
    output.Open(path, "wb", utl::ShareNone, false);
    vemra::SunRasterWriter writer;
    if (writer.WriteHeader(&output, shape.width, shape.height, shape.depth, palette) !=
        vemra::kWriteOk) {
      state.SkipWithError("WriteHeader failed");
      break;
    }
    for (int y = 0; y < shape.height; ++y) {
      if (writer.WriteScanline(image.data() + memoryRowBytes * std::size_t(y)) != vemra::kWriteOk) {
        state.SkipWithError("WriteScanline failed");
        break;
      }
    }
    writer.Reset();
    output.Close();
    written = static_cast<std::int64_t>(FileRowBytes(shape)) * shape.height;
  }
  state.SetBytesProcessed(state.iterations() * written);
}

// Keeps the imported image until the next import, as a host keeps what it opened.
class BenchManager final : public qxio::IoManager {
public:
  std::optional<qxio::TrImage> m_image;
  int m_warnings = 0;

protected:
  int OnWarning(utl::IError::WarnStyle, const std::wstring&) override {
    ++m_warnings;
    return 0;
  }
  void OnObjectImported(qxio::TrBase& object) override {
    if (object.GetTypeId() == qxio::TrImage::GetClassTypeId()) {
      m_image.emplace(std::move(static_cast<qxio::TrImage&>(object)));
    }
  }
};

void ImportImage(benchmark::State& state, FileShape shape) {
  const BenchFile& file = GetBenchFile(shape);
  BenchManager manager;
  std::int64_t imageBytes = 0;
  for (auto _ : state) {
    manager.m_image.reset();
    vemra::SunImportFilter filter(manager);
    filter.ImportFromFile(file.widePath);
    if (!manager.m_image || manager.m_warnings != 0) {
      state.SkipWithError("the import produced no complete image");
      break;
    }
    imageBytes =
        static_cast<std::int64_t>(manager.m_image->RowBytes()) * manager.m_image->GetHeight();
    benchmark::DoNotOptimize(manager.m_image->Row(shape.height - 1));
  }
  state.SetBytesProcessed(state.iterations() * imageBytes);
  state.counters["file_bytes"] = static_cast<double>(file.bytes);
}

utl::ColorFormat FormatForDepth(int depth) {
  switch (depth) {
    case 1: return utl::Indexed1;
    case 8: return utl::Indexed8;
    case 24: return utl::BGR24;
    default: return utl::BGRA32;
  }
}

// What the exported image shows: a pattern of bytes x * 7 + y; a smooth picture like a photo
// with soft gradients (two waves, with ±1 grain on a quarter of the bytes); random bytes.
enum class Picture { Pattern, Smooth, Noise };

// Byte i of row y, in pixels of bytesPerPixel bytes: the smooth picture's channels differ by 30.
std::uint8_t PictureByte(Picture picture, std::size_t i, std::size_t bytesPerPixel, int y,
                         std::uint64_t& random) {
  random ^= random << 13;
  random ^= random >> 7;
  random ^= random << 17;
  switch (picture) {
    case Picture::Pattern: return static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(y));
    case Picture::Smooth: {
      const double u = static_cast<double>(i / bytesPerPixel), v = static_cast<double>(y);
      const double channel = static_cast<double>(i % bytesPerPixel);
      const double wave = 100 + 70 * std::sin(u / 900) * std::cos(v / 650) +
                          40 * std::sin((u + v) / 1700) + 30 * channel;
      const int grain = (random & 3) == 0 ? static_cast<int>((random >> 2) % 3) - 1 : 0;
      return static_cast<std::uint8_t>(std::clamp(static_cast<int>(wave) + grain, 0, 255));
    }
    case Picture::Noise: break;
  }
  return static_cast<std::uint8_t>(random >> 24);
}

void ExportImage(benchmark::State& state, int size, utl::ColorFormat format, Picture picture,
                 bool runLength) {
  RGBQUAD table[256];
  for (int i = 0; i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    table[i] = RGBQUAD{level, static_cast<std::uint8_t>(255 - level), level, 0};
  }
  qxio::TrImage image;
  image.SetScanlineStart(size, size, format, 0, 0, table, qxio::RowAccessByIndex, 256, nullptr);
  std::vector<std::uint8_t> row(image.RowBytes());
  std::uint64_t random = 0x9E3779B97F4A7C15ULL;
  const std::size_t bytesPerPixel = std::max(1, utl::BitsPerPixel(format) / 8);
  for (int y = 0; y < size; ++y) {
    for (std::size_t x = 0; x < row.size(); ++x) {
      row[x] = PictureByte(picture, x, bytesPerPixel, y, random);
    }
    image.SetScanline(row.data(), y);
  }
  image.SetScanlineEnd(nullptr, 0);

  BenchManager manager;
  const std::string path =
      OutputPath("export-" + std::to_string(utl::BitsPerPixel(format)) + ".ras");
  for (auto _ : state) {
    vemra::SunExportFilter filter(manager);
    filter.SetOptionsFromString(runLength ? L"Compression=RLE" : L"Compression=None");
    filter.BeginExport(utl::FromUtf8(path));
    if (filter.ExportObject(image) != qxio::ExportDone || filter.EndExport() != qxio::ExportDone) {
      state.SkipWithError("the export wrote no image");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.RowBytes()) * size);
  std::error_code error;
  state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path, error));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const int size = BenchImageSize();
  for (const FileShape& shape : ReadShapes(size)) {
    benchmark::RegisterBenchmark(("Read/" + Describe(shape)).c_str(), ReadImage, shape)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  for (const int depth : {1, 8, 24, 32}) {
    const FileShape shape{size, size, depth, Content::Raw};
    benchmark::RegisterBenchmark(("Write/" + Describe(shape)).c_str(), WriteImage, shape, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
#if !defined(_WIN32)
  for (const int depth : {1, 8, 24, 32}) {
    const FileShape shape{size, size, depth, Content::Raw};
    benchmark::RegisterBenchmark(("WriteToNull/" + Describe(shape)).c_str(), WriteImage, shape,
                                 true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
#endif
  for (const FileShape& shape : ReadShapes(size)) {
    benchmark::RegisterBenchmark(("Import/" + Describe(shape)).c_str(), ImportImage, shape)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  for (const int depth : {1, 8, 24, 32}) {
    benchmark::RegisterBenchmark(("Export/" + std::to_string(depth) + "-bit").c_str(), ExportImage,
                                 size, FormatForDepth(depth), Picture::Pattern, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  // Run-length encoded export against standard export of the same pictures.
  const struct {
    const char* name;
    utl::ColorFormat format;
    Picture picture;
  } encoded[] = {{"8-bit smooth", utl::Indexed8, Picture::Smooth},
                 {"8-bit noise", utl::Indexed8, Picture::Noise},
                 {"24-bit smooth", utl::BGR24, Picture::Smooth}};
  for (const auto& item : encoded) {
    for (const bool runLength : {false, true}) {
      const std::string name = std::string("Export/") + item.name + (runLength ? " rle" : "");
      benchmark::RegisterBenchmark(name.c_str(), ExportImage, size, item.format, item.picture,
                                   runLength)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
