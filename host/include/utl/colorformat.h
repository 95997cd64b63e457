// The host's pixel formats and their bits per pixel.
#pragma once

#include "utl/api.h"

namespace utl {

// Pixels narrower than a byte fill each byte from its high bits.
enum ColorFormat : int {
  ColorFormatUnknown = 0,
  Gray1 = 1,  // grey levels, no colour table
  Gray4 = 2,
  Gray8 = 3,
  BGR555 = 4,    // 16-bit little-endian words: 0RRRRRGG GGGBBBBB
  BGR565 = 5,    // 16-bit little-endian words: RRRRRGGG GGGBBBBB
  Indexed1 = 6,  // colour-table indices
  Indexed4 = 7,
  Indexed8 = 8,
  BGR24 = 9,    // blue, green, red bytes
  BGRA32 = 10,  // blue, green, red, fourth byte
  RGB24 = 11,   // red, green, blue bytes
  Gray16 = 12,  // 16-bit little-endian grey levels
};

constexpr int kColorFormatCount = 13;

// Bits per pixel, indexed by ColorFormat value (0 for ColorFormatUnknown).
extern QXIO_API const int ColorFmtToBPP[kColorFormatCount];

// Bits per pixel of any value, 0 for values outside the enumeration.
QXIO_API int BitsPerPixel(int format);

}  // namespace utl
