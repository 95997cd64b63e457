#include "pixcv/convert.h"

#include <cstdint>
#include <cstring>

#include "pixcv/pixels.h"

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

Byte Expand5(unsigned v) {
  return static_cast<Byte>((v << 3) | (v >> 2));
}
Byte Expand6(unsigned v) {
  return static_cast<Byte>((v << 2) | (v >> 4));
}

// A little-endian 16-bit pixel: 5 bits of blue from the low end, then greenBits (5 or 6) of
// green and 5 of red.
void PutWord(Byte* out, const Byte* in, int greenBits) {
  const unsigned v = in[0] | (in[1] << 8);
  out[0] = Expand5(v & 0x1F);
  out[1] = greenBits == 6 ? Expand6((v >> 5) & 0x3F) : Expand5((v >> 5) & 0x1F);
  out[2] = Expand5((v >> (5 + greenBits)) & 0x1F);
}

bool ToBgr24(std::size_t width, const Byte* src, utl::ColorFormat from, Byte* dst,
             const RGBQUAD* palette) {
  switch (from) {
    case utl::Gray1:
      for (std::size_t i = 0; i < width; ++i)
        PutGrey(dst + 3 * i, PackedSample(src, i, 1) ? 255 : 0);
      return true;
    case utl::Gray4:
      for (std::size_t i = 0; i < width; ++i)
        PutGrey(dst + 3 * i, static_cast<Byte>(PackedSample(src, i, 4) * 17));
      return true;
    case utl::Gray8:
      for (std::size_t i = 0; i < width; ++i) PutGrey(dst + 3 * i, src[i]);
      return true;
    case utl::Gray16:
      // Little-endian words: the high byte carries the level.
      for (std::size_t i = 0; i < width; ++i) PutGrey(dst + 3 * i, src[2 * i + 1]);
      return true;
    case utl::BGR555:
      for (std::size_t i = 0; i < width; ++i) PutWord(dst + 3 * i, src + 2 * i, 5);
      return true;
    case utl::BGR565:
      for (std::size_t i = 0; i < width; ++i) PutWord(dst + 3 * i, src + 2 * i, 6);
      return true;
    case utl::Indexed1:
    case utl::Indexed4:
    case utl::Indexed8: {
      if (palette == nullptr) return false;
      const int bits = utl::ColorFmtToBPP[from];
      for (std::size_t i = 0; i < width; ++i) {
        const unsigned index = PackedSample(src, i, bits);
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
