#include "pixcv/convert.h"

#include <cstdint>
#include <cstring>

namespace pixcv {

namespace {

using Byte = std::uint8_t;

void PutGrey(Byte* out, Byte level) {
  out[0] = out[1] = out[2] = level;
}

void PutEntry(Byte* out, const RGBQUAD& entry) {
  out[0] = entry.rgbBlue;
  out[1] = entry.rgbGreen;
  out[2] = entry.rgbRed;
}

// Pixel i of a row of packed sub-byte pixels, high bits first.
unsigned Packed(const Byte* row, std::size_t i, int bits) {
  const std::size_t bit = i * static_cast<std::size_t>(bits);
  const int shift = 8 - bits - static_cast<int>(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

Byte Expand5(unsigned v) {
  return static_cast<Byte>((v << 3) | (v >> 2));
}
Byte Expand6(unsigned v) {
  return static_cast<Byte>((v << 2) | (v >> 4));
}

bool ToBgr24(std::size_t width, const Byte* src, utl::ColorFormat from, Byte* dst,
             const RGBQUAD* palette) {
  switch (from) {
    case utl::Gray1:
      for (std::size_t i = 0; i < width; ++i) PutGrey(dst + 3 * i, Packed(src, i, 1) ? 255 : 0);
      return true;
    case utl::Gray4:
      for (std::size_t i = 0; i < width; ++i)
        PutGrey(dst + 3 * i, static_cast<Byte>(Packed(src, i, 4) * 17));
      return true;
    case utl::Gray8:
      for (std::size_t i = 0; i < width; ++i) PutGrey(dst + 3 * i, src[i]);
      return true;
    case utl::Gray16:
      // Little-endian words: the high byte carries the level.
      for (std::size_t i = 0; i < width; ++i) PutGrey(dst + 3 * i, src[2 * i + 1]);
      return true;
    case utl::BGR555:
      for (std::size_t i = 0; i < width; ++i) {
        const unsigned v = src[2 * i] | (src[2 * i + 1] << 8);
        dst[3 * i] = Expand5(v & 0x1F);
        dst[3 * i + 1] = Expand5((v >> 5) & 0x1F);
        dst[3 * i + 2] = Expand5((v >> 10) & 0x1F);
      }
      return true;
    case utl::BGR565:
      for (std::size_t i = 0; i < width; ++i) {
        const unsigned v = src[2 * i] | (src[2 * i + 1] << 8);
        dst[3 * i] = Expand5(v & 0x1F);
        dst[3 * i + 1] = Expand6((v >> 5) & 0x3F);
        dst[3 * i + 2] = Expand5((v >> 11) & 0x1F);
      }
      return true;
    case utl::Indexed1:
    case utl::Indexed4:
    case utl::Indexed8: {
      if (palette == nullptr) return false;
      const int bits = utl::ColorFmtToBPP[from];
      for (std::size_t i = 0; i < width; ++i) {
        const unsigned index = bits == 8 ? src[i] : Packed(src, i, bits);
        PutEntry(dst + 3 * i, palette[index]);
      }
      return true;
    }
    case utl::BGR24: std::memmove(dst, src, width * 3); return true;
    case utl::BGRA32:
      for (std::size_t i = 0; i < width; ++i) std::memmove(dst + 3 * i, src + 4 * i, 3);
      return true;
    case utl::RGB24:
      for (std::size_t i = 0; i < width; ++i) {
        const Byte r = src[3 * i], g = src[3 * i + 1], b = src[3 * i + 2];
        dst[3 * i] = b;
        dst[3 * i + 1] = g;
        dst[3 * i + 2] = r;
      }
      return true;
    default: return false;
  }
}

}  // namespace

bool SimplePixelConvert(int width, const void* src, utl::ColorFormat from, void* dst,
                        utl::ColorFormat to, int /*reserved*/, const RGBQUAD* palette,
                        bool /*flag*/) {
  if (width < 0 || src == nullptr || dst == nullptr) return false;
  if (to != utl::BGR24) return false;
  return ToBgr24(static_cast<std::size_t>(width), static_cast<const Byte*>(src), from,
                 static_cast<Byte*>(dst), palette);
}

}  // namespace pixcv
