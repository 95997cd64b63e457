// Fuzz target: a Sun raster file that imports is exported and imported again, and comes back as
// the export documents it: in its colour format with its rows and colour table, but 4-bit pixels
// at depth 8, one per byte; the file written is a standard one with every header field exact; an
// image without rows is refused and leaves no file. The input is a whole file, so that the
// reader's and the import filter's seeds serve here too.
#include <cstring>

#include "support.h"
#include "sunexportfilter.h"
#include "sunimportfilter.h"
#include "utl/colorformat.h"
#include "utl/error.h"

namespace fs = std::filesystem;
using namespace vemra::test;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Images of more than 2^20 pixels cost time and add no coverage.
  const auto source = Import(ScratchFile("roundtrip.ras", data, size), 1u << 20).image;
  if (!source) return 0;
  qxio::TrImage& image = *source;
  const TempDir dir;
  const fs::path target = dir / "image.ras";

  std::optional<utl::CError> error;
  qxio::ExportStatus ended;
  {
    qxio::IoManager manager;
    vemra::SunExportFilter exporter(manager);
    exporter.BeginExport(Wide(target));
    error = Raised([&] { Require(exporter.ExportObject(image) == qxio::ExportDone, "taken"); });
    ended = exporter.EndExport();
  }
  const std::size_t files = dir.List().size();
  if (image.GetHeight() == 0) {
    Require(error && error->Kind() == utl::ErrorKind::Internal && files == 0 &&
                ended == qxio::ExportNothingExported,
            "an image without rows is refused and leaves no file");
    return 0;
  }
  Require(!error && ended == qxio::ExportDone && files == 1, "the image is exported alone");

  const bool nibbles = image.GetColorFormat() == utl::Indexed4;
  const std::uint32_t width = image.GetWidth(), height = image.GetHeight();
  const std::uint32_t depth = nibbles ? 8 : utl::BitsPerPixel(image.GetColorFormat());
  const auto rowBytes = static_cast<std::uint32_t>(vemra::bytesPerRow(width, depth));
  const std::uint32_t mapBytes = depth <= 8 ? 3u << depth : 0;
  const Bytes file = ReadFile(target);
  const std::uint32_t header[8] = {vemra::kSunRasterMagic, width, height, depth,
                                   rowBytes * height, 1, mapBytes ? 1u : 0u, mapBytes};
  for (int i = 0; i < 8; ++i) Require(Be32(file, 4 * i) == header[i], "header fields");
  Require(file.size() == 32 + mapBytes + std::size_t{rowBytes} * height, "file size");

  const auto back = Import(target).image;
  Require(back && back->GetWidth() == image.GetWidth() && back->GetHeight() == image.GetHeight() &&
              back->GetColorFormat() == (nibbles ? utl::Indexed8 : image.GetColorFormat()),
          "size and colour format come back");
  const unsigned entries = image.GetNumColorTableEntriesUsed();
  RGBQUAD got[256], want[256] = {};
  back->GetColorTable(got, 0, 256);
  image.GetColorTable(want, 0, static_cast<int>(entries));
  Require(std::memcmp(got, want, sizeof(RGBQUAD) * (mapBytes / 3)) == 0,
          "the colour map: the image's table, then black");
  std::vector<std::uint8_t> expected(back->RowBytes());
  for (int y = 0; y < image.GetHeight(); ++y) {
    const std::uint8_t* row = image.Row(y);
    for (std::size_t x = 0; nibbles && x < width; ++x) {
      expected[x] = x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    }
    if (!nibbles) std::memcpy(expected.data(), row, expected.size());
    Require(std::memcmp(back->Row(y), expected.data(), expected.size()) == 0, "rows come back");
  }
  return 0;
}
