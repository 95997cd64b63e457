// The codec alone: SunRasterReader from a file in the page cache into one row buffer, and
// SunRasterWriter from an image in memory into a file. Bytes per second count decoded bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "benchfolder.h"
#include "sunrasterreader.h"
#include "sunrasterwriter.h"
#include "utl/bufferedfile.h"
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
    for (int y = 0; y < reader.m_imageHeight; ++y) {
      if (reader.ReadScanline(row.data()) != vemra::kReadOk) {
        state.SkipWithError("ReadScanline failed");
        break;
      }
    }
    benchmark::DoNotOptimize(row.data());
    benchmark::ClobberMemory();
    decoded = std::int64_t{reader.BytesPerRow()} * reader.m_imageHeight;
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
  const std::size_t memoryRowBytes =
      (std::size_t(shape.width) * std::size_t(shape.depth) + 7) / 8;
  const std::vector<std::uint8_t> image = MemoryImage(shape, memoryRowBytes);
  RGBQUAD palette[256] = {};
  const std::wstring path =
      toNull ? std::wstring(L"/dev/null")
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
      if (writer.WriteScanline(image.data() + memoryRowBytes * std::size_t(y)) !=
          vemra::kWriteOk) {
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
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
