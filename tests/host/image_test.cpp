// Images in memory, and converting rows between colour formats.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "hosttest.h"
#include "pixcv/convert.h"
#include "qxio/manager.h"
#include "qxio/transport.h"
#include "recordingmanager.h"

namespace {

using qxio::TrImage;
using Bytes = std::vector<std::uint8_t>;
using vemra::test::Raised;

void Start(TrImage& image, int width, int height, int format, qxio::IProgress* progress = nullptr,
           const RGBQUAD* table = nullptr, unsigned tableSize = 0) {
  image.SetScanlineStart(width, height, static_cast<utl::ColorFormat>(format), 0, 0, table,
                         qxio::RowAccessByIndex, tableSize, progress);
}

// Rows are sized by bits per pixel, read as zeros until set and are copied whole; rows outside
// the image and bad descriptions are refused.
TEST(Image, RowsSizedZeroUntilSetAndRefusedOutside) {
  const std::tuple<int, int, std::size_t> cases[] = {
      {utl::Gray1, 5, 1},   {utl::Indexed1, 9, 2}, {utl::Gray4, 5, 3},  {utl::Indexed4, 1, 1},
      {utl::Gray8, 5, 5},   {utl::BGR555, 3, 6},   {utl::BGR24, 5, 15}, {utl::BGRA32, 3, 12}};
  for (const auto& [format, width, rowBytes] : cases) {
    SCOPED_TRACE(std::to_string(format) + " x " + std::to_string(width));
    TrImage image;
    Start(image, width, 3, format);
    ASSERT_EQ(image.RowBytes(), rowBytes);
    const Bytes row = vemra::test::Pattern(rowBytes, 1);
    image.SetScanline(row.data(), 1);
    for (int i = 0; i < 3; ++i) {
      Bytes out(rowBytes + 1, 0xEE), expected = i == 1 ? row : Bytes(rowBytes, 0);
      image.GetScanline(out.data(), i);
      expected.push_back(0xEE);  // nothing past the row
      EXPECT_EQ(out, expected) << "row " << i;
    }
    for (int index : {-1, 3, INT_MAX, INT_MIN}) {
      EXPECT_TRUE(Raised([&] { image.SetScanline(row.data(), index); })) << index;
      EXPECT_TRUE(Raised([&] { image.GetScanline(Bytes(rowBytes).data(), index); })) << index;
    }
    EXPECT_TRUE(Raised([&] { image.SetScanline(nullptr, 0); }));
  }
  const int bad[][3] = {{-1, 1, utl::Gray8}, {1, -1, utl::Gray8}, {INT_MIN, INT_MIN, utl::BGR24},
                        {1, 1, 0},           {1, 1, 13},         {1, 1, -1}};
  for (const auto& [width, height, format] : bad) {
    TrImage image;
    EXPECT_TRUE(Raised([&] { Start(image, width, height, format); })) << width << " " << format;
  }
}

// The limit comes from the manager behind the progress; 0 lifts it.
TEST(Image, PixelLimitRefusesBeforeAllocating) {
  const std::uint64_t d = qxio::IoManager::kDefaultMaxPixels;
  const std::tuple<std::uint64_t, int, int, bool> cases[] = {
      {100, 10, 10, true},           {100, 10, 11, false},         {100, 101, 1, false},
      {d, 32768, 32769, false},      {d, INT_MAX, INT_MAX, false},
      {0, 32768, 32776, true}};  // over the default: 128 MiB of untouched zero pages
  for (const auto& [limit, width, height, fits] : cases) {
    vemra::test::RecordingManager manager;
    manager.SetMaxPixels(limit);
    qxio::CProgress progress(&manager);
    TrImage image;
    const auto error = Raised([&] { Start(image, width, height, 1, progress.IProgressPtr()); });
    const int tooLarge = static_cast<int>(utl::ErrorKind::ImageTooLarge);
    EXPECT_EQ(error ? static_cast<int>(error->Kind()) : -1, fits ? -1 : tooLarge) << width;
    EXPECT_EQ(image.GetHeight(), fits ? height : 0);
  }
}

TEST(Image, ColourTableKeepsAtMost256AndPadsWithBlack) {
  std::vector<RGBQUAD> table(300, RGBQUAD{1, 2, 3, 4});
  TrImage image;
  Start(image, 1, 1, utl::Indexed8, nullptr, table.data(), 300);
  EXPECT_EQ(image.GetNumColorTableEntriesUsed(), 256u);
  table[11].rgbRed = 9;
  image.SetScanlineEnd(table.data() + 10, 2);
  EXPECT_EQ(image.GetNumColorTableEntriesUsed(), 2u);
  for (int first : {-1, INT_MAX - 1, INT_MIN}) {
    RGBQUAD out[4];
    image.GetColorTable(out, first, 4);
    for (int i = 0; i < 4; ++i) {
      const bool set = first == -1 && (i == 1 || i == 2);
      EXPECT_EQ(out[i].rgbRed, set ? (i == 2 ? 9 : 3) : 0) << first << " + " << i;
    }
  }
}

TEST(Image, MoveLeavesTheSourceEmpty) {
  const RGBQUAD table[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  TrImage source, assigned;
  Start(source, 3, 2, utl::Indexed8, nullptr, table, 2);
  const Bytes row = {7, 8, 9};
  source.SetScanline(row.data(), 1);
  TrImage moved(std::move(source));
  assigned = std::move(moved);
  for (const TrImage* empty : {&source, &moved}) {
    EXPECT_EQ(empty->GetWidth() + empty->GetHeight() + empty->RowBytes(), 0u);
    EXPECT_EQ(empty->GetColorFormat(), utl::ColorFormatUnknown);
    EXPECT_EQ(empty->GetNumColorTableEntriesUsed(), 0u);
    EXPECT_EQ(empty->Row(0), nullptr);
  }
  EXPECT_EQ(assigned.GetNumColorTableEntriesUsed(), 2u);
  Bytes out(3);
  assigned.GetScanline(out.data(), 1);
  EXPECT_EQ(out, row);
}

// Palette entry i is (blue i, green 255 - i, red i ^ 0x5A): every index gives its own colour.
RGBQUAD Entry(int i) {
  return {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i ^ 0x5A), 0};
}
// BGR24 pixels: grey levels, or (indexed) palette entries.
Bytes Bgr(std::initializer_list<int> values, bool indexed = false) {
  Bytes out;
  for (int v : values) {
    const auto b = std::uint8_t(v);
    const RGBQUAD e = indexed ? Entry(v) : RGBQUAD{b, b, b, 0};
    out.insert(out.end(), {e.rgbBlue, e.rgbGreen, e.rgbRed});
  }
  return out;
}

// Every format to BGR24, exactly the row. Trailing bits of a last partial byte are set, so
// reading them would show.
TEST(PixelConvert, EveryFormatToBgr24WritesExactlyTheRow) {
  std::vector<RGBQUAD> palette;
  for (int i = 0; i < 256; ++i) palette.push_back(Entry(i));
  const std::tuple<utl::ColorFormat, int, Bytes, Bytes> cases[] = {
      {utl::Gray1, 1, {0xBF}, Bgr({255})},
      {utl::Gray1, 9, {0xB1, 0xBF}, Bgr({255, 0, 255, 255, 0, 0, 0, 255, 255})},
      {utl::Gray4, 3, {0x0F, 0x8A}, Bgr({0, 255, 136})},
      {utl::Gray4, 5, {0x12, 0x34, 0xEF}, Bgr({17, 34, 51, 68, 238})},
      {utl::Gray8, 3, {0, 128, 255}, Bgr({0, 128, 255})},
      {utl::Gray16, 2, {0x34, 0x12, 0xFF, 0xAB}, Bgr({0x12, 0xAB})},
      {utl::BGR555, 4, {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0xFF, 0xFF},
       {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}},
      {utl::BGR555, 1, {0x10, 0x42}, {132, 132, 132}},
      {utl::BGR565, 3, {0x1F, 0x00, 0xE0, 0x07, 0x00, 0xF8}, {255, 0, 0, 0, 255, 0, 0, 0, 255}},
      {utl::BGR565, 1, {0x20, 0x00}, {0, 4, 0}},
      {utl::Indexed1, 5, {0x6F}, Bgr({0, 1, 1, 0, 1}, true)},
      {utl::Indexed4, 3, {0x2F, 0x7C}, Bgr({2, 15, 7}, true)},
      {utl::Indexed8, 3, {0, 200, 255}, Bgr({0, 200, 255}, true)},
      {utl::BGR24, 2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
      {utl::BGRA32, 2, {1, 2, 3, 99, 4, 5, 6, 99}, {1, 2, 3, 4, 5, 6}},
      {utl::RGB24, 2, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
  };
  for (const auto& [from, width, src, bgr] : cases) {
    Bytes dst(bgr.size() + 4, 0xEE), expected = bgr;
    expected.insert(expected.end(), 4, 0xEE);  // nothing past the row
    EXPECT_TRUE(pixcv::SimplePixelConvert(width, src.data(), from, dst.data(), utl::BGR24, 0,
                                          palette.data(), false)) << from;
    EXPECT_EQ(dst, expected) << "format " << from << " width " << width;
  }
  // Refused: indexed without a palette, unknown formats, targets other than BGR24. Nothing is
  // written.
  const std::tuple<int, int, const RGBQUAD*> refused[] = {
      {utl::Indexed1, utl::BGR24, nullptr}, {utl::Indexed4, utl::BGR24, nullptr},
      {utl::Indexed8, utl::BGR24, nullptr}, {0, utl::BGR24, palette.data()},
      {13, utl::BGR24, palette.data()},     {-1, utl::BGR24, palette.data()},
      {utl::Gray8, utl::Gray8, palette.data()},  {utl::BGR24, utl::BGRA32, palette.data()},
      {utl::BGR24, utl::RGB24, palette.data()},  {utl::BGRA32, 0, palette.data()},
      {utl::Gray8, 99, palette.data()}};
  for (const auto& [from, to, table] : refused) {
    Bytes dst(64, 0xEE);
    EXPECT_FALSE(pixcv::SimplePixelConvert(4, Bytes(64, 0x5A).data(), utl::ColorFormat(from),
                                           dst.data(), utl::ColorFormat(to), 0, table, false))
        << from << " -> " << to;
    EXPECT_EQ(dst, Bytes(64, 0xEE)) << from << " -> " << to;
  }
}

}  // namespace
