#include <png.h>

#include <cstdio>

#include "support.h"

namespace vemra::test {

// Plain transforms, no gamma: 16-bit samples keep their high byte, alpha is dropped.
Rgb LoadPng(const fs::path& path) {
  Rgb rgb;
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (!file) return rgb;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_read_png(png, info,
                 PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_STRIP_ALPHA | PNG_TRANSFORM_EXPAND |
                     PNG_TRANSFORM_GRAY_TO_RGB,
                 nullptr);
    const png_bytepp rows = png_get_rows(png, info);
    rgb.width = static_cast<int>(png_get_image_width(png, info));
    rgb.height = static_cast<int>(png_get_image_height(png, info));
    for (int y = 0; y < rgb.height; ++y) {
      rgb.pixels.insert(rgb.pixels.end(), rows[y], rows[y] + 3 * rgb.width);
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return rgb;
}

}  // namespace vemra::test
