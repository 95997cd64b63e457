#include "export_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "sunrasterreader.h"
#include "testfiles.h"
#include "utl/bufferedfile.h"

namespace vemra::test {

namespace fs = std::filesystem;

namespace {

std::uint8_t PatternByte(int y, std::size_t i) {
  return static_cast<std::uint8_t>(
      (y * 89 + static_cast<int>(i) * 37 + (y ^ static_cast<int>(i)) * 11 + 5) & 0xFF);
}

int Expand5(unsigned v) { return static_cast<int>((v << 3) | (v >> 2)); }
int Expand6(unsigned v) { return static_cast<int>((v << 2) | (v >> 4)); }

Rgb Grey(int level) { return {level, level, level}; }

Rgb Entry(const RGBQUAD& q) { return {q.rgbRed, q.rgbGreen, q.rgbBlue}; }

// Skips whitespace and comments of a PNM header and reads one decimal number.
bool PnmNumber(const Bytes& data, std::size_t& pos, int& value) {
  while (pos < data.size()) {
    if (data[pos] == '#') {
      while (pos < data.size() && data[pos] != '\n') ++pos;
    } else if (data[pos] == ' ' || data[pos] == '\t' || data[pos] == '\n' || data[pos] == '\r') {
      ++pos;
    } else {
      break;
    }
  }
  if (pos >= data.size() || data[pos] < '0' || data[pos] > '9') return false;
  value = 0;
  while (pos < data.size() && data[pos] >= '0' && data[pos] <= '9')
    value = value * 10 + (data[pos++] - '0');
  return true;
}

}  // namespace

qxio::TrImage MakeImage(utl::ColorFormat format, int width, int height, unsigned tableSize) {
  std::vector<RGBQUAD> table(256);
  for (unsigned i = 0; i < 256; ++i) {
    table[i] =
        RGBQUAD{static_cast<std::uint8_t>(i * 7 + 3), static_cast<std::uint8_t>(i * 13 + 100),
                static_cast<std::uint8_t>(255 - i), 0};
  }
  qxio::TrImage image;
  image.SetScanlineStart(width, height, format, 0, 0, table.data(), qxio::RowAccessByIndex,
                         tableSize, nullptr);
  Bytes row(image.RowBytes());
  for (int y = 0; y < height; ++y) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = PatternByte(y, i);
    image.SetScanline(row.data(), y);
  }
  image.SetScanlineEnd(nullptr, 0);
  return image;
}

Rgb SourcePixel(const qxio::TrImage& image, int x, int y) {
  const std::uint8_t* row = image.Row(y);
  const std::size_t i = static_cast<std::size_t>(x);
  const auto entry = [&image](unsigned index) {
    RGBQUAD q;
    image.GetColorTable(&q, static_cast<int>(index), 1);
    return Entry(q);
  };
  const auto bit = [&] { return (row[i / 8] >> (7 - i % 8)) & 1u; };
  const auto nibble = [&] { return i % 2 == 0 ? row[i / 2] >> 4 : row[i / 2] & 0x0Fu; };
  const auto word = [&] { return unsigned(row[2 * i]) | unsigned(row[2 * i + 1]) << 8; };
  switch (image.GetColorFormat()) {
    case utl::Gray1:
      return Grey(bit() ? 255 : 0);
    case utl::Gray4:
      return Grey(static_cast<int>(nibble() * 17));
    case utl::Gray8:
      return Grey(row[i]);
    case utl::BGR555:
      return {Expand5((word() >> 10) & 0x1F), Expand5((word() >> 5) & 0x1F),
              Expand5(word() & 0x1F)};
    case utl::BGR565:
      return {Expand5((word() >> 11) & 0x1F), Expand6((word() >> 5) & 0x3F),
              Expand5(word() & 0x1F)};
    case utl::Indexed1:
      return entry(bit());
    case utl::Indexed4:
      return entry(nibble());
    case utl::Indexed8:
      return entry(row[i]);
    case utl::BGR24:
      return {row[3 * i + 2], row[3 * i + 1], row[3 * i]};
    case utl::BGRA32:
      return {row[4 * i + 2], row[4 * i + 1], row[4 * i]};
    case utl::RGB24:
      return {row[3 * i], row[3 * i + 1], row[3 * i + 2]};
    case utl::Gray16:
      return Grey(row[2 * i + 1]);
    default:
      ADD_FAILURE() << "no pixels in format " << image.GetColorFormat();
      return {};
  }
}

Picture ReadWithOurReader(const fs::path& path) {
  Picture picture;
  utl::CBufferedFile file;
  file.Open(WidePath(path), "rb", utl::ShareRead, false);
  SunRasterReader reader;
  const int status = reader.ReadHeader(&file);
  if (status != kReadOk) {
    ADD_FAILURE() << "ReadHeader: " << ReadStatusText(status);
    return picture;
  }
  picture.width = reader.m_imageWidth;
  picture.height = reader.m_imageHeight;
  picture.depth = reader.m_bitsPerPixel;
  Bytes row(static_cast<std::size_t>(reader.BytesPerRow()));
  for (int y = 0; y < picture.height; ++y) {
    const int rowStatus = reader.ReadScanline(row.data());
    if (rowStatus != kReadOk) {
      ADD_FAILURE() << "ReadScanline " << y << ": " << ReadStatusText(rowStatus);
      return picture;
    }
    for (std::size_t x = 0; x < static_cast<std::size_t>(picture.width); ++x) {
      switch (picture.depth) {
        case 1:
          picture.pixels.push_back(Entry(reader.m_palette[(row[x / 8] >> (7 - x % 8)) & 1]));
          break;
        case 8:
          picture.pixels.push_back(Entry(reader.m_palette[row[x]]));
          break;
        case 24:
          picture.pixels.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
          break;
        default:
          picture.pixels.push_back({row[4 * x + 2], row[4 * x + 1], row[4 * x]});
          picture.pads.push_back(row[4 * x + 3]);
          break;
      }
    }
  }
  reader.Reset();
  return picture;
}

std::optional<Picture> ReadWithRasttopnm(const fs::path& path) {
  static const bool installed = std::system("command -v rasttopnm >/dev/null 2>&1") == 0;
  if (!installed) return std::nullopt;
  const fs::path out = fs::path(path).concat(".pnm");
  const std::string command =
      "rasttopnm '" + path.string() + "' > '" + out.string() + "' 2>/dev/null";
  Picture picture;
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "rasttopnm refused " << path;
    return picture;
  }
  const Bytes data = ReadFile(out);
  fs::remove(out);
  std::size_t pos = 2;
  int maxval = 1;
  if (data.size() < 2 || data[0] != 'P' || !PnmNumber(data, pos, picture.width) ||
      !PnmNumber(data, pos, picture.height) || (data[1] != '4' && !PnmNumber(data, pos, maxval))) {
    ADD_FAILURE() << "rasttopnm wrote no PNM header";
    return picture;
  }
  ++pos;  // the single whitespace byte before the raster
  const std::size_t w = static_cast<std::size_t>(picture.width);
  const std::size_t h = static_cast<std::size_t>(picture.height);
  const std::size_t rowBytes = data[1] == '4' ? (w + 7) / 8 : data[1] == '5' ? w : 3 * w;
  if (maxval != 255 && data[1] != '4') ADD_FAILURE() << "maxval " << maxval;
  if (data.size() < pos + rowBytes * h) {
    ADD_FAILURE() << "short PNM raster";
    return picture;
  }
  for (std::size_t y = 0; y < h; ++y) {
    const std::uint8_t* row = data.data() + pos + y * rowBytes;
    for (std::size_t x = 0; x < w; ++x) {
      switch (data[1]) {
        case '4':  // bit 1 is black
          picture.pixels.push_back(Grey((row[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255));
          break;
        case '5':
          picture.pixels.push_back(Grey(row[x]));
          break;
        case '6':
          picture.pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
          break;
        default:
          ADD_FAILURE() << "unexpected PNM kind P" << data[1];
          return picture;
      }
    }
  }
  return picture;
}

std::string FormatName(int format) {
  static const char* const names[] = {"Unknown", "Gray1",    "Gray4",    "Gray8",    "BGR555",
                                      "BGR565",  "Indexed1", "Indexed4", "Indexed8", "BGR24",
                                      "BGRA32",  "RGB24",    "Gray16"};
  return format >= 0 && format < utl::kColorFormatCount ? names[format]
                                                        : "Format" + std::to_string(format);
}

}  // namespace vemra::test
