// Fuzz target: a Sun raster file that imports is exported (standard or run-length encoded by the
// input's last bit) and imported again, and comes back as the export documents it: in its colour
// format with its rows and colour table, but 4-bit pixels at depth 8, a black-and-white 1-bit image
// without a map, its bits inverted where entry 0 is black, and the one ambiguous 32-bit image
// shifted; every header field exact; an image without rows a header alone. The input is a whole
// file, so that the reader's and the import filter's seeds serve here too.
#include <cstring>

#include "sunraster.h"
#include "support.h"

using namespace vemra::test;

namespace {

// 0 for no black-and-white table; else 1 when entry 0 is white, 2 when it is black.
int BlackAndWhite(const qxio::TrImage& image) {
  RGBQUAD t[2];
  image.GetColorTable(t, 0, 2);
  const std::uint32_t first = t[0].rgbRed << 16 | t[0].rgbGreen << 8 | t[0].rgbBlue;
  const std::uint32_t second = t[1].rgbRed << 16 | t[1].rgbGreen << 8 | t[1].rgbBlue;
  if (image.GetColorFormat() != utl::Indexed1 || image.GetNumColorTableEntriesUsed() < 2) return 0;
  return first + second != 0xFFFFFF || (first && second) ? 0 : first ? 1 : 2;
}

// The one 32-bit image whose file also looks pad-last, left ambiguous by design: no red at all,
// and a fourth byte that varies and is mostly neither 0 nor 255. It reads back shifted, its
// blue, green and red taken from its fourth byte, blue and green, and a zero fourth byte.
bool ReadsBackShifted(const qxio::TrImage& image) {
  if (image.GetColorFormat() != utl::BGRA32 || image.GetHeight() == 0) return false;
  std::uint8_t red = 0, fourthChanges = 0;
  const std::uint8_t firstFourth = image.Row(0)[3];
  std::size_t extremes = 0;
  for (int y = 0; y < image.GetHeight(); ++y) {
    const std::uint8_t* row = image.Row(y);
    for (const std::uint8_t* p = row; p != row + 4 * image.GetWidth(); p += 4) {
      red |= p[2];
      fourthChanges |= p[3] ^ firstFourth;
      extremes += p[3] == 0 || p[3] == 255;
    }
  }
  return red == 0 && fourthChanges &&
         2 * extremes < std::size_t(image.GetWidth()) * image.GetHeight();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Images of more than 2^20 pixels cost time and add no coverage.
  const auto source = Import(ScratchFile("roundtrip.ras", data, size), 1u << 20).image;
  if (!source) return 0;
  qxio::TrImage& image = *source;
  const TempDir dir(MemoryFolder());
  const fs::path target = dir / "image.ras";

  const bool nibbles = image.GetColorFormat() == utl::Indexed4;
  const int blackAndWhite = BlackAndWhite(image);
  const std::uint32_t width = image.GetWidth(), height = image.GetHeight();
  const std::uint32_t depth = nibbles ? 8 : utl::BitsPerPixel(image.GetColorFormat());
  const bool runLength = (data[size - 1] & 1) != 0;
  bool exported = false;
  const auto error = Raised([&] {
    exported = Export(image, Wide(target), runLength ? L"Compression=RLE" : L"compression = none");
  });
  // A 4-bit row of 2^28 pixels or more fits in the format, but not at depth 8.
  if (!vemra::ComputeRasterSize(width, height, depth).valid) {
    Require(error && dir.List().empty(), "too large: refused, no file left");
    return 0;
  }
  Require(exported && dir.List().size() == 1, "the image is exported alone");

  const auto rowBytes = static_cast<std::uint32_t>(vemra::BytesPerRow(width, depth));
  const std::uint32_t mapBytes = depth <= 8 && !blackAndWhite ? 3u << depth : 0;
  const Bytes file = ReadFile(target);
  const std::uint32_t dataBytes =
      runLength ? std::uint32_t(file.size() - 32 - mapBytes) : rowBytes * height;
  const std::uint32_t header[8] = {
      vemra::kSunRasterMagic, width,   height, depth, dataBytes, runLength ? 2u : 1u,
      mapBytes ? 1u : 0u,     mapBytes};
  for (int i = 0; i < 8; ++i) Require(Be32(file, 4 * i) == header[i], "header fields");
  Require(file.size() == 32 + mapBytes + std::size_t{dataBytes}, "file size");

  const auto back = Import(target).image;
  Require(back && back->GetWidth() == image.GetWidth() && back->GetHeight() == image.GetHeight() &&
              back->GetColorFormat() == (nibbles ? utl::Indexed8 : image.GetColorFormat()),
          "size and colour format come back");
  const unsigned entries = image.GetNumColorTableEntriesUsed();
  RGBQUAD got[256], want[256] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
  back->GetColorTable(got, 0, 256);
  if (!blackAndWhite) image.GetColorTable(want, 0, static_cast<int>(entries));
  Require(std::memcmp(got, want, sizeof(RGBQUAD) * (blackAndWhite ? 2 : mapBytes / 3)) == 0,
          "the colour map: the image's table, then black; white and black without one");
  std::vector<std::uint8_t> expected(height > 0 ? back->RowBytes() : 0);  // width may be huge
  const bool shifted = ReadsBackShifted(image);
  for (int y = 0; y < image.GetHeight(); ++y) {
    const std::uint8_t* row = image.Row(y);
    for (std::size_t x = 0; nibbles && x < width; ++x) {
      expected[x] = x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    }
    if (!nibbles) std::memcpy(expected.data(), row, expected.size());
    for (std::size_t x = 0; shifted && x < width; ++x) {
      const std::uint8_t* p = row + 4 * x;
      const std::uint8_t pixel[4] = {p[3], p[0], p[1], 0};
      std::memcpy(&expected[4 * x], pixel, 4);
    }
    if (blackAndWhite == 2) {  // inverted, and the bits past the last pixel 0
      for (auto& byte : expected) byte = std::uint8_t(~byte);
      if (width % 8) expected.back() &= std::uint8_t(0xFF00 >> (width % 8));
    }
    Require(std::memcmp(back->Row(y), expected.data(), expected.size()) == 0, "rows come back");
  }
  return 0;
}
