// Writes the small sample images in samples/ with the project's own writer:
//   mksamples FOLDER
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sunrasterwriter.h"
#include "utl/bufferedfile.h"
#include "utl/text.h"

namespace {

using Row = std::vector<std::uint8_t>;
using FillRow = std::function<void(int y, Row& row)>;

constexpr double kPi = 3.14159265358979323846;

// Hue in turns (0..1) to a saturated colour, as blue, green, red.
void HueToBgr(double hue, double value, std::uint8_t* bgr) {
  const double r = 0.5 + 0.5 * std::cos(2 * kPi * hue);
  const double g = 0.5 + 0.5 * std::cos(2 * kPi * (hue - 1.0 / 3));
  const double b = 0.5 + 0.5 * std::cos(2 * kPi * (hue - 2.0 / 3));
  bgr[0] = static_cast<std::uint8_t>(255 * b * value);
  bgr[1] = static_cast<std::uint8_t>(255 * g * value);
  bgr[2] = static_cast<std::uint8_t>(255 * r * value);
}

// A colour wheel: hue by angle, brightness by distance from the centre.
void ColorWheelPixel(int x, int y, int width, int height, std::uint8_t* bgr) {
  const double dx = x - width / 2.0, dy = y - height / 2.0;
  const double radius = std::sqrt(dx * dx + dy * dy) / (height / 2.0);
  const double hue = std::atan2(dy, dx) / (2 * kPi) + 0.5;
  HueToBgr(hue, radius > 1 ? 0.25 : 1 - 0.5 * radius, bgr);
}

void Write(const std::string& path, int width, int height, int depth, const RGBQUAD* palette,
           const FillRow& fill, vemra::WriteLayout layout = {}) {
  utl::CBufferedFile file;
  file.Open(utl::FromUtf8(path), "wb", utl::ShareNone, false);
  vemra::SunRasterWriter writer;
  int status = writer.WriteHeader(&file, width, height, depth, palette, layout);
  Row row(static_cast<std::size_t>(width) * 4 + 4);
  for (int y = 0; y < height && status == vemra::kWriteOk; ++y) {
    std::fill(row.begin(), row.end(), 0);
    fill(y, row);
    status = writer.WriteScanline(row.data());
  }
  writer.Reset();
  file.Close();
  if (status != vemra::kWriteOk) {
    throw std::runtime_error(path + ": " + vemra::WriteStatusText(status));
  }
  std::printf("wrote %s\n", path.c_str());
}

void WriteSamples(const std::string& folder) {
  const int w = 160, h = 120;
  Write(folder + "/colourwheel-24.ras", w, h, 24, nullptr, [&](int y, Row& row) {
    for (int x = 0; x < w; ++x) ColorWheelPixel(x, y, w, h, &row[3 * x]);
  });
  Write(folder + "/colourwheel-32.ras", w, h, 32, nullptr, [&](int y, Row& row) {
    for (int x = 0; x < w; ++x) ColorWheelPixel(x, y, w, h, &row[4 * x]);
  });

  RGBQUAD rainbow[256];
  for (int i = 0; i < 256; ++i) {
    std::uint8_t bgr[3];
    HueToBgr(i / 256.0, 1.0, bgr);
    rainbow[i] = RGBQUAD{bgr[0], bgr[1], bgr[2], 0};
  }
  Write(folder + "/rings-8.ras", w, h, 8, rainbow, [&](int y, Row& row) {
    for (int x = 0; x < w; ++x) {
      const double d = std::hypot(x - w / 2.0, y - h / 2.0);
      row[x] = static_cast<std::uint8_t>(static_cast<int>(d * 4) & 0xFF);
    }
  });

  // Black and white without a map (bit 1 black), the 1-bit form every reader shows right.
  vemra::WriteLayout noMap;
  noMap.colorMap = false;
  Write(
      folder + "/checks-1.ras", w, h, 1, nullptr,
      [&](int y, Row& row) {
        for (int x = 0; x < w; ++x) {
          if (((x / 10) + (y / 10)) % 2) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
      },
      noMap);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mksamples FOLDER\n");
    return 2;
  }
  try {
    WriteSamples(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "error: %s\n", error.what());
    return 1;
  }
  return 0;
}
