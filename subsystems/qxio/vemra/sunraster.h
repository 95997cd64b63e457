// The Sun raster file format: constants, the 32-byte header and the size arithmetic that the
// reader, the writer and both filters share.
#pragma once

#include <cstdint>

#include "pixcv/pixels.h"
#include "utl/rgbquad.h"

namespace vemra {

constexpr std::uint32_t kSunRasterMagic = 0x59A66A95;
constexpr int kSunRasterHeaderSize = 32;

// Storage types.
constexpr std::uint32_t kTypeOld = 0;          // raw rows, laid out as standard
constexpr std::uint32_t kTypeStandard = 1;     // raw rows; 24-bit B,G,R; 32-bit pad,B,G,R
constexpr std::uint32_t kTypeByteEncoded = 2;  // run-length encoded rows
constexpr std::uint32_t kTypeRgb = 3;          // raw rows; 24-bit R,G,B; 32-bit pad,R,G,B
constexpr std::uint32_t kLastType = kTypeRgb;

// Colour-map types.
constexpr std::uint32_t kMapNone = 0;
constexpr std::uint32_t kMapEqualRgb = 1;  // three equal planes: all reds, all greens, all blues
constexpr std::uint32_t kMapRaw = 2;       // maplength bytes of no defined layout, skipped

// Depths the format carries: bit d set for depths 1, 8, 24 and 32.
constexpr std::uint64_t kSupportedDepthMask = 0x101000102ULL;
// The reader also takes 4-bit indexed files, which real archives hold.
constexpr std::uint64_t kReadableDepthMask = kSupportedDepthMask | (1ULL << 4);

// Run-length encoding: 0x80 0x00 is a literal 0x80; 0x80 n v is v repeated n + 1 times.
constexpr std::uint8_t kRunEscape = 0x80;
// The largest expansion of encoded bytes: 3 bytes (0x80 0xFF v) decode to 256.
constexpr int kMaxRunEncodedBytes = 3;
constexpr int kMaxRunDecodedBytes = 256;

constexpr int kMaxPaletteEntries = 256;

// Fills entries 0 .. count - 1 with grey levels evenly from black to white; count >= 2.
void FillGreyRamp(RGBQUAD* palette, int count);

// The file header; big-endian on disk (little-endian in files that some programs wrote on
// little-endian machines), host byte order in memory.
struct SunRasterHeader {
  std::uint32_t magic;      // kSunRasterMagic
  std::uint32_t width;      // pixels per row
  std::uint32_t height;     // number of rows
  std::uint32_t depth;      // bits per pixel
  std::uint32_t length;     // bytes of pixel data; written, never trusted on reading
  std::uint32_t type;       // storage type, kTypeOld .. kTypeRgb
  std::uint32_t maptype;    // kMapNone, kMapEqualRgb or kMapRaw
  std::uint32_t maplength;  // bytes of colour map after the header
};
static_assert(sizeof(SunRasterHeader) == kSunRasterHeaderSize, "the header is 32 bytes");

enum class ByteOrder { BigEndian, LittleEndian };

// The 32-bit word at p in the given byte order, whatever the host's own.
constexpr std::uint32_t LoadWord(const std::uint8_t* p, ByteOrder order = ByteOrder::BigEndian) {
  const bool big = order == ByteOrder::BigEndian;
  return std::uint32_t{p[big ? 0 : 3]} << 24 | std::uint32_t{p[big ? 1 : 2]} << 16 |
         std::uint32_t{p[big ? 2 : 1]} << 8 | p[big ? 3 : 0];
}

// The header's 32 bytes as the file holds them, and back; the eight fields in file order.
void EncodeHeader(const SunRasterHeader& header, std::uint8_t* bytes);
SunRasterHeader DecodeHeader(const std::uint8_t* bytes, ByteOrder order = ByteOrder::BigEndian);

// Whether a file's first four bytes are the magic number, and in which byte order its header
// fields then stand: big-endian (59 A6 6A 95) or little-endian (95 6A A6 59).
bool MagicByteOrder(const std::uint8_t* bytes, ByteOrder& order);

constexpr bool IsDepthIn(std::uint64_t mask, std::uint32_t depth) {
  return depth <= 32 && ((mask >> depth) & 1) != 0;
}

// Sizes of an image in the format, worked out in 64-bit arithmetic.
struct RasterSize {
  bool valid = false;            // false when the image cannot be stored or handled
  std::int32_t bytesPerRow = 0;  // row length in the file: whole bytes, rounded up to even
  std::uint32_t imageBytes = 0;  // bytesPerRow x height, the header's length field
};

// The one place where row length and image size are computed. Valid when width >= 1,
// height >= 0, depth >= 1, width x depth fits a signed 32-bit integer (the callers' own
// arithmetic), and bytesPerRow x height fits the 32-bit length field.
RasterSize ComputeRasterSize(std::int64_t width, std::int64_t height, std::int64_t depth);

// Row length in bytes: width x depth bits rounded up to whole bytes, then to an even count.
// Only meaningful for sizes that ComputeRasterSize accepts.
constexpr std::int64_t BytesPerRow(std::int64_t width, std::int64_t depth) {
  const auto bytes = static_cast<std::int64_t>(
      pixcv::PackedRowBytes(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(depth)));
  return bytes + (bytes & 1);
}

}  // namespace vemra
