// PNG files for the CLI tests, made and decoded with libpng independently of qxhost.
#pragma once

#include <filesystem>
#include <utility>
#include <vector>

#include "testfiles.h"

namespace qxhost::test {

using vemra::test::Bytes;

struct PngRecipe {
  int colorType;  // PNG_COLOR_TYPE_*
  int bitDepth;
  int width;
  int height;
  bool interlaced = false;
};

// A PNG of the given kind with samples that fill each bit depth's range; 16-bit samples are
// k * 256 + 127, which give k whether a reader truncates or rounds, but not if it takes the
// low byte.
Bytes MakePng(const PngRecipe& recipe);

// 8-bit RGB, three bytes per pixel; alpha is dropped. Empty when the file is no valid PNG.
struct Rgb {
  int width = 0;
  int height = 0;
  Bytes pixels;
};
Rgb DecodeRgb(const std::filesystem::path& path);

// Colour type and bit depth from the PNG's header.
using PngKind = std::pair<int, int>;
PngKind KindOf(const std::filesystem::path& path);

}  // namespace qxhost::test
