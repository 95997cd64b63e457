// Fuzz target: the raster reader on its own, on a whole file: the header, then every row. What
// the reader accepts must be usable as it says: the size fits, the pixel data starts right after
// the colour map, and no row is delivered that the data cannot fill. (The round-trip target and
// the read tests check the decoded bytes and colours.)
#include <algorithm>
#include <vector>

#include "sunrasterreader.h"
#include "support.h"

using namespace vemra::test;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static utl::CBufferedFile file;  // one for every run: it keeps its 256 KiB buffer
  file.CloseNoThrow(false);        // the last run may have returned early
  file.Open(Wide(ScratchFile("reader.ras", data, size)), "rb", utl::ShareRead, false);
  const Bytes bytes(data, data + size);
  vemra::SunRasterReader reader;
  const int status = reader.ReadHeader(&file);
  Require(status >= vemra::kReadOk && status <= vemra::kReadBadMagic, "header status in range");
  if (size < 32) Require(status == vemra::kReadShort, "a file under 32 bytes is short");
  const bool swapped = Be32(bytes, 0) == 0x956AA659;  // the header is little-endian
  if (size >= 32 && Be32(bytes, 0) != vemra::kSunRasterMagic && !swapped) {
    Require(status == vemra::kReadBadMagic, "a wrong magic number is reported as such");
  }
  if (status != vemra::kReadOk) return 0;

  const auto field = [&](int i) {
    return swapped ? __builtin_bswap32(Be32(bytes, i)) : Be32(bytes, i);
  };
  const std::uint32_t width = field(4), height = field(8), depth = field(12);
  const std::uint32_t type = field(20), maptype = field(24);
  Require(reader.ImageWidth() == std::int32_t(width) && reader.ImageWidth() >= 1 &&
              reader.ImageHeight() == std::int32_t(height) && reader.ImageHeight() >= 0,
          "width of 1 or more and height of 0 or more, as in the header");
  Require((depth == 1 || depth == 4 || depth == 8 || depth == 24 || depth == 32) && type <= 3 &&
              maptype <= 2,
          "only depths, types and map types the filters carry");
  const std::int64_t rowBytes = reader.BytesPerRow();
  Require(rowBytes == vemra::BytesPerRow(width, depth) && rowBytes * height <= 0xFFFFFFFFll,
          "row length from width and depth; image size within 32 bits");
  // A colour map of maplength / 3 entries, or a raw map of maplength bytes.
  const std::int64_t maplength = std::max(std::int32_t(field(28)), 0);
  const std::int64_t dataStart = 32 + (maptype == 1 ? maplength / 3 * 3 : maptype ? maplength : 0);
  Require(file.GetPosition() == dataStart, "pixel data starts right after the colour map");
  Require(reader.ReadHeader(&file) == vemra::kReadShort && reader.BytesPerRow() == rowBytes,
          "a second header read on the moved file is refused and changes nothing");

  // The most rows the rest of the file can fill: raw rows need their bytes, run-length data
  // yields at most 256 bytes for every 3. Rows up to 64 KiB are always tried.
  const bool encoded = type == 2;
  const std::int64_t most =
      encoded ? (std::int64_t(size) - dataStart) * 256 / 3 + 256 : std::int64_t(size) - dataStart;
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
  return 0;
}
