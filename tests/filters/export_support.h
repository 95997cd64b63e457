// Helpers for the export tests: source images, their expected colours, and reading a written
// file back with our reader or with netpbm's rasttopnm.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "qxio/transport.h"
#include "utl/colorformat.h"

namespace vemra::test {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// An image whose every row and byte differs, with a colour table of tableSize entries that
// differ from each other and from a grey ramp.
qxio::TrImage MakeImage(utl::ColorFormat format, int width, int height, unsigned tableSize = 0);

// The colour of pixel (x, y) of a host image, worked out from its bytes and colour table.
Rgb SourcePixel(const qxio::TrImage& image, int x, int y);

// What a Sun raster file holds, as colours, one row after another.
struct Picture {
  int width = 0;
  int height = 0;
  int depth = 0;  // 0 when the reader cannot tell
  std::vector<Rgb> pixels;
  std::vector<std::uint8_t> pads;  // the fourth byte of each 32-bit pixel, in memory order
};

// Reads a file with SunRasterReader; a failure is a test failure and an empty picture.
Picture ReadWithOurReader(const std::filesystem::path& path);

// Runs rasttopnm on the file; nullopt when the program is not installed.
std::optional<Picture> ReadWithRasttopnm(const std::filesystem::path& path);

std::string FormatName(int format);

}  // namespace vemra::test
