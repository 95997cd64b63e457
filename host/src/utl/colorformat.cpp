#include "utl/colorformat.h"

namespace utl {

const int ColorFmtToBPP[kColorFormatCount] = {0, 1, 4, 8, 16, 16, 1, 4, 8, 24, 32, 24, 16};

int BitsPerPixel(int format) {
  return format >= 0 && format < kColorFormatCount ? ColorFmtToBPP[format] : 0;
}

}  // namespace utl
