// Fuzz target: the raster reader on its own. The input is a whole file; the header is read,
// then every row. What the reader accepts must be usable as it says: the size fits, the pixel
// data starts right after the colour map, and no row is delivered that the data cannot fill.
// (The round-trip target and the reader's unit tests check the decoded bytes themselves.)
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzzsupport.h"
#include "sunrasterreader.h"
#include "utl/bufferedfile.h"

using vemra::fuzz::Be32;
using vemra::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = vemra::fuzz::PutFile("reader.ras", data, size);
  // One file object for every run: it keeps its 256 KiB buffer across opens.
  static utl::CBufferedFile file;
  file.Open(vemra::fuzz::Wide(path), "rb", utl::ShareRead, false);

  vemra::SunRasterReader reader;
  const int status = reader.ReadHeader(&file);
  Require(status >= vemra::kReadOk && status <= vemra::kReadBadMagic, "header status in range");
  if (size < 32) Require(status == vemra::kReadShort, "a file under 32 bytes is short");
  if (size >= 32 && Be32(data) != vemra::kSunRasterMagic) {
    Require(status == vemra::kReadBadMagic, "a wrong magic number is reported as such");
  }
  if (status != vemra::kReadOk) return 0;

  const std::uint32_t width = Be32(data + 4), height = Be32(data + 8), depth = Be32(data + 12);
  const std::uint32_t type = Be32(data + 20), maptype = Be32(data + 24);
  const std::int32_t maplength = static_cast<std::int32_t>(Be32(data + 28));
  Require(reader.m_imageWidth == static_cast<std::int32_t>(width) && reader.m_imageWidth >= 1,
          "width as in the header and at least 1");
  Require(reader.m_imageHeight == static_cast<std::int32_t>(height) && reader.m_imageHeight >= 0,
          "height as in the header and not negative");
  Require(depth == 1 || depth == 4 || depth == 8 || depth == 24 || depth == 32,
          "only depths the filters can carry are accepted");
  Require(type <= 3 && maptype <= 1, "only known types and map types are accepted");
  const std::int64_t bytesPerRow = reader.BytesPerRow();
  Require(bytesPerRow == vemra::bytesPerRow(width, depth), "row length from width and depth");
  Require(bytesPerRow * std::int64_t{height} <= 0xFFFFFFFFll, "image size fits 32 bits");

  // The pixel data starts right after the whole colour map; entries come from its planes.
  const std::int64_t mapEntries = maptype == 1 ? std::max(maplength / 3, 0) : 0;
  const std::int64_t dataStart = 32 + 3 * mapEntries;
  Require(file.GetPosition() == dataStart, "pixel data starts right after the colour map");
  for (std::int64_t i = 0; i < std::min<std::int64_t>(mapEntries, 256); ++i) {
    const RGBQUAD& entry = reader.m_palette[i];
    Require(entry.rgbRed == data[32 + i] && entry.rgbGreen == data[32 + mapEntries + i] &&
                entry.rgbBlue == data[32 + 2 * mapEntries + i] && entry.rgbReserved == 0,
            "palette entry from the three planes");
  }

  // A second header read on the same, now moved, file is refused and changes nothing.
  Require(reader.ReadHeader(&file) == vemra::kReadShort, "a moved file is refused");
  Require(reader.BytesPerRow() == bytesPerRow && reader.m_imageHeight == std::int32_t(height),
          "a refused header leaves the reader as it was");

  // The most rows the rest of the file can fill: raw rows need their bytes, run-length data
  // yields at most 256 bytes for every 3 (and an escape cut short yields nothing).
  const auto remaining = static_cast<std::int64_t>(size) - dataStart;
  const bool encoded = type == 2;
  const std::int64_t most = encoded ? remaining * 256 / 3 + 256 : remaining;
  // A row buffer the import filter would never allocate; rows up to 64 KiB are always tried.
  if (bytesPerRow > std::max<std::int64_t>(most, 64 * 1024)) return 0;
  const std::int64_t fillable = std::min<std::int64_t>(most / bytesPerRow, height);

  std::vector<std::uint8_t> row(static_cast<std::size_t>(bytesPerRow));
  for (std::int64_t r = 0; r < height; ++r) {
    const int rowStatus = reader.ReadScanline(row.data());
    if (!encoded) {
      Require(rowStatus == (r < fillable ? vemra::kReadOk : vemra::kReadShort),
              "a raw row is delivered exactly when the data fills it");
    }
    if (rowStatus != vemra::kReadOk) {
      Require(rowStatus == vemra::kReadShort, "a row is delivered or short");
      break;
    }
    Require(r < fillable, "no row is delivered that the data cannot fill");
  }
  reader.Reset();
  file.Close();
  return 0;
}
