// Fuzz target: the raster reader on its own. The input is a whole file; the header is read,
// then every row, and each delivered row is checked against an independent decoding of the
// input bytes (raw rows or run-length data, then the memory order of the pixels).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzzsupport.h"
#include "sunrasterreader.h"
#include "utl/bufferedfile.h"

namespace {

using vemra::fuzz::Require;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// Decodes run-length data to at most limit bytes. An escape cut short by the end of the data
// yields nothing.
Bytes DecodeRuns(const std::uint8_t* data, std::size_t size, std::size_t limit) {
  Bytes out;
  std::size_t i = 0;
  while (i < size && out.size() < limit) {
    if (data[i] != 0x80) {
      out.push_back(data[i++]);
    } else if (i + 1 >= size) {
      break;
    } else if (data[i + 1] == 0) {
      out.push_back(0x80);
      i += 2;
    } else if (i + 2 >= size) {
      break;
    } else {
      out.insert(out.end(), std::size_t{data[i + 1]} + 1, data[i + 2]);
      i += 3;
    }
  }
  return out;
}

// File order to memory order: 24-bit pixels B,G,R and 32-bit pixels B,G,R,pad.
void ToMemoryOrder(std::uint8_t* row, std::uint32_t width, std::uint32_t depth,
                   std::uint32_t type) {
  for (std::uint32_t x = 0; x < width; ++x) {
    if (depth == 24 && type == 3) {
      std::swap(row[3 * x], row[3 * x + 2]);
    } else if (depth == 32) {
      std::uint8_t* p = row + 4 * x;
      const std::uint8_t pad = p[0];
      if (type == 3) {
        const std::uint8_t r = p[1], g = p[2], b = p[3];
        p[0] = b, p[1] = g, p[2] = r;
      } else {
        std::memmove(p, p + 1, 3);
      }
      p[3] = pad;
    }
  }
}

// A row buffer the code under test would never have: larger than anything the rest of the
// file could fill. Rows up to 64 KiB are always tried, so short rows get exercised.
bool RowCouldBeFilled(std::int64_t bytesPerRow, std::int64_t remaining, bool encoded) {
  const std::int64_t most = encoded ? remaining * 256 / 3 + 256 : remaining;
  return bytesPerRow <= std::max<std::int64_t>(most, 64 * 1024);
}

}  // namespace

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

  // The pixel data starts right after the whole colour map.
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

  const std::size_t remaining = size - static_cast<std::size_t>(dataStart);
  const bool encoded = type == 2;
  if (!RowCouldBeFilled(bytesPerRow, static_cast<std::int64_t>(remaining), encoded)) return 0;

  // Every row the file can deliver: raw rows back to back, or the decoded run-length stream.
  const std::size_t rowBytes = static_cast<std::size_t>(bytesPerRow);
  const std::size_t wanted = rowBytes * height;
  const std::uint8_t* pixels = data + dataStart;
  Bytes expected = encoded ? DecodeRuns(pixels, remaining, wanted)
                           : Bytes(pixels, pixels + std::min(remaining, wanted));
  const std::size_t rowsAvailable = std::min<std::size_t>(expected.size() / rowBytes, height);

  Bytes row(rowBytes);
  for (std::size_t r = 0; r < height; ++r) {
    const int rowStatus = reader.ReadScanline(row.data());
    if (r >= rowsAvailable) {
      Require(rowStatus == vemra::kReadShort, "a row the data cannot fill is short");
      break;
    }
    Require(rowStatus == vemra::kReadOk, "a row the data fills is delivered");
    std::uint8_t* want = expected.data() + r * rowBytes;
    ToMemoryOrder(want, width, depth, type);
    Require(std::memcmp(row.data(), want, rowBytes) == 0, "row bytes as decoded independently");
    Require(reader.CurrentRow() == r + 1, "row counter counts delivered rows");
  }
  reader.Reset();
  file.Close();
  return 0;
}
