#include "testpng.h"

#include <algorithm>
#include <csetjmp>
#include <stdexcept>

#include <png.h>

namespace qxhost::test {

namespace {

void AppendBytes(png_structp png, png_bytep data, std::size_t size) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    default:
      return 1;
  }
}

// Packs the samples of one row as the bit depth lays them out in the file.
void PackRow(const PngRecipe& recipe, int y, png_bytep row) {
  const int channels = Channels(recipe.colorType);
  const int maxValue = (1 << std::min(recipe.bitDepth, 8)) - 1;
  int bit = 0;
  for (int x = 0; x < recipe.width; ++x) {
    for (int c = 0; c < channels; ++c) {
      const int value = (x * 7 + y * 13 + c * 61 + 3) % (maxValue + 1);
      if (recipe.bitDepth == 16) {
        row[bit / 8] = static_cast<png_byte>(value);
        row[bit / 8 + 1] = 127;
      } else if (recipe.bitDepth == 8) {
        row[bit / 8] = static_cast<png_byte>(value);
      } else {
        row[bit / 8] |= static_cast<png_byte>(value << (8 - recipe.bitDepth - bit % 8));
      }
      bit += recipe.bitDepth;
    }
  }
}

}  // namespace

Bytes MakePng(const PngRecipe& recipe) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(static_cast<std::size_t>(recipe.width) * 8);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("cannot make the test PNG");
  }
  png_set_write_fn(png, &out, AppendBytes, nullptr);
  png_set_IHDR(png, info, recipe.width, recipe.height, recipe.bitDepth, recipe.colorType,
               recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color palette[256];
  for (int i = 0; i < 256; ++i) {
    palette[i] = png_color{png_byte(i * 3), png_byte(255 - i), png_byte(i * 29)};
  }
  if (recipe.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_PLTE(png, info, palette, 1 << recipe.bitDepth);
  }
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < recipe.height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      PackRow(recipe, y, row.data());
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Rgb DecodeRgb(const std::filesystem::path& path) {
  struct Source {
    Bytes bytes;
    std::size_t offset = 0;
  } source{vemra::test::ReadFile(path)};
  Rgb rgb;
  std::vector<png_bytep> rows;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return Rgb{};
  }
  png_set_read_fn(png, &source, [](png_structp p, png_bytep data, std::size_t size) {
    auto* s = static_cast<Source*>(png_get_io_ptr(p));
    if (s->bytes.size() - s->offset < size) png_error(p, "short");
    std::copy_n(s->bytes.begin() + static_cast<std::ptrdiff_t>(s->offset), size, data);
    s->offset += size;
  });
  png_read_info(png, info);
  // Plain transforms, no gamma: 16-bit samples keep their high byte.
  png_set_strip_16(png);
  png_set_palette_to_rgb(png);
  png_set_expand_gray_1_2_4_to_8(png);
  png_set_gray_to_rgb(png);
  png_set_strip_alpha(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  rgb.width = static_cast<int>(png_get_image_width(png, info));
  rgb.height = static_cast<int>(png_get_image_height(png, info));
  rgb.pixels.resize(static_cast<std::size_t>(rgb.width) * rgb.height * 3);
  for (int y = 0; y < rgb.height; ++y) rows.push_back(&rgb.pixels[std::size_t(y) * rgb.width * 3]);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return rgb;
}

PngKind KindOf(const std::filesystem::path& path) {
  const Bytes bytes = vemra::test::ReadFile(path);
  if (bytes.size() < 26) return {-1, -1};
  return {bytes[25], bytes[24]};
}

}  // namespace qxhost::test
