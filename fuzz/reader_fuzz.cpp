// Fuzz target: the raster reader on its own, on a whole file: the header, then every row. What
// the reader accepts must be usable as it says: the size fits, the pixel data starts right after
// the colour map, and no row is delivered that the data cannot fill. (The round-trip target and
// the read tests check the decoded bytes and colours.)
#include <algorithm>
#include <vector>

#include "support.h"
#include "sunrasterreader.h"

using namespace vemra::test;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static utl::CBufferedFile file;  // one for every run: it keeps its 256 KiB buffer
  file.CloseNoThrow(false);         // the last run may have returned early
  file.Open(Wide(ScratchFile("reader.ras", data, size)), "rb",
            utl::ShareRead, false);
  const Bytes bytes(data, data + size);
  vemra::SunRasterReader reader;
  const int status = reader.ReadHeader(&file);
  Require(status >= vemra::kReadOk && status <= vemra::kReadBadMagic, "header status in range");
  if (size < 32) Require(status == vemra::kReadShort, "a file under 32 bytes is short");
  if (size >= 32 && Be32(bytes, 0) != vemra::kSunRasterMagic) {
    Require(status == vemra::kReadBadMagic, "a wrong magic number is reported as such");
  }
  if (status != vemra::kReadOk) return 0;

  const std::uint32_t width = Be32(bytes, 4), height = Be32(bytes, 8), depth = Be32(bytes, 12);
  const std::uint32_t type = Be32(bytes, 20), maptype = Be32(bytes, 24);
  Require(reader.m_imageWidth == std::int32_t(width) && reader.m_imageWidth >= 1 &&
              reader.m_imageHeight == std::int32_t(height) && reader.m_imageHeight >= 0,
          "width of 1 or more and height of 0 or more, as in the header");
  Require((depth == 1 || depth == 4 || depth == 8 || depth == 24 || depth == 32) && type <= 3 &&
              maptype <= 1, "only depths, types and map types the filters carry");
  const std::int64_t rowBytes = reader.BytesPerRow();
  Require(rowBytes == vemra::bytesPerRow(width, depth) && rowBytes * height <= 0xFFFFFFFFll,
          "row length from width and depth; image size within 32 bits");
  const std::int64_t entries = maptype == 1 ? std::max(std::int32_t(Be32(bytes, 28)) / 3, 0) : 0;
  const std::int64_t dataStart = 32 + 3 * entries;
  Require(file.GetPosition() == dataStart, "pixel data starts right after the colour map");
  Require(reader.ReadHeader(&file) == vemra::kReadShort && reader.BytesPerRow() == rowBytes,
          "a second header read on the moved file is refused and changes nothing");

  // The most rows the rest of the file can fill: raw rows need their bytes, run-length data
  // yields at most 256 bytes for every 3. Rows up to 64 KiB are always tried.
  const bool encoded = type == 2;
  const std::int64_t most = encoded ? (std::int64_t(size) - dataStart) * 256 / 3 + 256
                                    : std::int64_t(size) - dataStart;
  if (rowBytes > std::max<std::int64_t>(most, 64 * 1024)) return 0;
  const std::int64_t fillable = std::min<std::int64_t>(most / rowBytes, height);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
  for (std::int64_t r = 0; r < height; ++r) {
    const int rowStatus = reader.ReadScanline(row.data());
    Require(encoded || rowStatus == (r < fillable ? vemra::kReadOk : vemra::kReadShort),
            "a raw row is delivered exactly when the data fills it");
    Require(rowStatus == vemra::kReadOk || rowStatus == vemra::kReadShort, "a row or short");
    if (rowStatus != vemra::kReadOk) break;
    Require(r < fillable, "no row is delivered that the data cannot fill");
  }
  reader.Reset();
  file.Close();
  return 0;
}
