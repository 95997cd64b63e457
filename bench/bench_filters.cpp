// The filters as a host drives them: a whole import into a TrImage that the manager takes
// over (as qxhost does), and a whole export of a TrImage. Bytes per second count image bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "benchfolder.h"
#include "qxio/manager.h"
#include "qxio/transport.h"
#include "sunexportfilter.h"
#include "sunimportfilter.h"
#include "utl/colorformat.h"
#include "utl/text.h"

namespace {

using namespace vemra::bench;

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
    imageBytes = static_cast<std::int64_t>(manager.m_image->RowBytes()) *
                 manager.m_image->GetHeight();
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

void ExportImage(benchmark::State& state, int size, utl::ColorFormat format) {
  RGBQUAD table[256];
  for (int i = 0; i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    table[i] = RGBQUAD{level, static_cast<std::uint8_t>(255 - level), level, 0};
  }
  qxio::TrImage image;
  image.SetScanlineStart(size, size, format, 0, 0, table, qxio::RowAccessByIndex, 256, nullptr);
  std::vector<std::uint8_t> row(image.RowBytes());
  for (int y = 0; y < size; ++y) {
    for (std::size_t x = 0; x < row.size(); ++x) {
      row[x] = static_cast<std::uint8_t>(x * 7 + static_cast<std::size_t>(y));
    }
    image.SetScanline(row.data(), y);
  }
  image.SetScanlineEnd(nullptr, 0);

  BenchManager manager;
  const std::wstring path = utl::FromUtf8(
      OutputPath("export-" + std::to_string(utl::BitsPerPixel(format)) + ".ras"));
  for (auto _ : state) {
    vemra::SunExportFilter filter(manager);
    filter.BeginExport(path);
    if (filter.ExportObject(image) != qxio::ExportDone || filter.EndExport() != qxio::ExportDone) {
      state.SkipWithError("the export wrote no image");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.RowBytes()) *
                          size);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const int size = BenchImageSize();
  for (const FileShape& shape : ReadShapes(size)) {
    benchmark::RegisterBenchmark(("Import/" + Describe(shape)).c_str(), ImportImage, shape)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  for (const int depth : {1, 8, 24, 32}) {
    benchmark::RegisterBenchmark(("Export/" + std::to_string(depth) + "-bit").c_str(),
                                 ExportImage, size, FormatForDepth(depth))
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
