#include "pixcv/convert.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Entry i is (blue i, green 255 - i, red i ^ 0x5A): every index gives a distinct colour.
const std::array<RGBQUAD, 256> kPalette = [] {
  std::array<RGBQUAD, 256> table{};
  for (int i = 0; i < 256; ++i) {
    table[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                static_cast<std::uint8_t>(i ^ 0x5A), 0};
  }
  return table;
}();

Bytes Grey(std::initializer_list<int> levels) {
  Bytes out;
  for (int v : levels) out.insert(out.end(), 3, static_cast<std::uint8_t>(v));
  return out;
}

Bytes Entries(std::initializer_list<int> indices) {
  Bytes out;
  for (int i : indices) {
    const RGBQUAD& e = kPalette[i];
    out.insert(out.end(), {e.rgbBlue, e.rgbGreen, e.rgbRed});
  }
  return out;
}

struct ConvertCase {
  const char* name;
  utl::ColorFormat from;
  int width;
  Bytes src;
  Bytes bgr;  // expected BGR24 output
};
void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.name; }

// Trailing bits of a last partial byte are set, so reading them would show.
const ConvertCase kCases[] = {
    {"Gray1Width1", utl::Gray1, 1, {0xBF}, Grey({255})},
    {"Gray1Width9", utl::Gray1, 9, {0xB1, 0xBF}, Grey({255, 0, 255, 255, 0, 0, 0, 255, 255})},
    {"Gray4Width3", utl::Gray4, 3, {0x0F, 0x8A}, Grey({0, 255, 136})},
    {"Gray4Width5", utl::Gray4, 5, {0x12, 0x34, 0xEF}, Grey({17, 34, 51, 68, 238})},
    {"Gray8", utl::Gray8, 3, {0, 128, 255}, Grey({0, 128, 255})},
    {"Gray16HighByte", utl::Gray16, 2, {0x34, 0x12, 0xFF, 0xAB}, Grey({0x12, 0xAB})},
    {"Bgr555FullScale", utl::BGR555, 4, {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0xFF, 0xFF},
     {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}},
    {"Bgr555Mid", utl::BGR555, 1, {0x10, 0x42}, {132, 132, 132}},
    {"Bgr565FullScale", utl::BGR565, 3, {0x1F, 0x00, 0xE0, 0x07, 0x00, 0xF8},
     {255, 0, 0, 0, 255, 0, 0, 0, 255}},
    {"Bgr565LowGreen", utl::BGR565, 1, {0x20, 0x00}, {0, 4, 0}},
    {"Indexed1Width5", utl::Indexed1, 5, {0x6F}, Entries({0, 1, 1, 0, 1})},
    {"Indexed4Width3", utl::Indexed4, 3, {0x2F, 0x7C}, Entries({2, 15, 7})},
    {"Indexed8", utl::Indexed8, 3, {0, 200, 255}, Entries({0, 200, 255})},
    {"Bgr24Copies", utl::BGR24, 2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
    {"Bgra32DropsFourth", utl::BGRA32, 2, {1, 2, 3, 99, 4, 5, 6, 99}, {1, 2, 3, 4, 5, 6}},
    {"Rgb24Swaps", utl::RGB24, 2, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
};

class PixelConvert : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(PixelConvert, ToBgr24WritesExactlyTheRow) {
  const ConvertCase& c = GetParam();
  Bytes dst(c.bgr.size() + 4, 0xEE);
  ASSERT_TRUE(pixcv::SimplePixelConvert(c.width, c.src.data(), c.from, dst.data(), utl::BGR24, 0,
                                        kPalette.data(), false));
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + static_cast<std::ptrdiff_t>(c.bgr.size())), c.bgr);
  EXPECT_EQ(Bytes(dst.end() - 4, dst.end()), Bytes(4, 0xEE)) << "wrote past the row";
}

INSTANTIATE_TEST_SUITE_P(Formats, PixelConvert, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Conversions that must answer false and leave the destination alone.
TEST(PixelConvertRefusal, AnswersFalseWritingNothing) {
  const Bytes src(64, 0x5A);
  const RGBQUAD* p = kPalette.data();
  const std::tuple<int, int, const RGBQUAD*> cases[] = {
      {utl::Indexed1, utl::BGR24, nullptr}, {utl::Indexed4, utl::BGR24, nullptr},
      {utl::Indexed8, utl::BGR24, nullptr}, {0, utl::BGR24, p},
      {13, utl::BGR24, p},                  {-1, utl::BGR24, p},
      {99, utl::BGR24, p},                  {utl::Gray8, utl::Gray8, p},
      {utl::BGR24, utl::BGRA32, p},         {utl::BGR24, utl::RGB24, p},
      {utl::BGRA32, 0, p},                  {utl::Gray8, 99, p},
  };
  for (const auto& [from, to, palette] : cases) {
    Bytes dst(64, 0xEE);
    EXPECT_FALSE(pixcv::SimplePixelConvert(4, src.data(), static_cast<utl::ColorFormat>(from),
                                           dst.data(), static_cast<utl::ColorFormat>(to), 0,
                                           palette, false))
        << from << " -> " << to;
    EXPECT_EQ(dst, Bytes(64, 0xEE)) << from << " -> " << to;
  }
}

}  // namespace
