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

// libpng's writer at its defaults: level 6, filters chosen row by row, as most programs write.
std::size_t LibpngFileSize(const Rgb& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), 0, nullptr);
  png_image_free(&png);
  return size;
}

}  // namespace vemra::test
