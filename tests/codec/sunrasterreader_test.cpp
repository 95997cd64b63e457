#include "sunrasterreader.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cctype>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "rasterbytes.h"
#include "testfiles.h"
#include "utl/error.h"

namespace vemra {
namespace {

using test::Append;
using test::Bytes;
using test::HeaderFields;
using Rgb = std::array<int, 3>;

HeaderFields H(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
               std::uint32_t type = 1, std::uint32_t maptype = 0, std::uint32_t maplength = 0) {
  return {kSunRasterMagic, width, height, depth, 0, type, maptype, maplength};
}

// The header, then rest; cut short to keep bytes when given.
Bytes Raster(const HeaderFields& header, const Bytes& rest = {}, std::size_t keep = SIZE_MAX) {
  Bytes bytes = test::HeaderBytes(header);
  Append(bytes, rest);
  bytes.resize(std::min(keep, bytes.size()));
  return bytes;
}

class ReaderTest : public ::testing::Test {
protected:
  int Open(const Bytes& bytes) {
    m_file.Open(m_dir.Put("f" + std::to_string(m_files++), bytes), "rb", utl::ShareRead, false);
    return m_reader.ReadHeader(&m_file);
  }
  // Reads up to count rows; returns the rows delivered and the status that ended the read.
  std::pair<Bytes, int> Rows(int count) {
    Bytes all, row(static_cast<std::size_t>(m_reader.BytesPerRow()));
    for (int i = 0; i < count; ++i) {
      const int status = m_reader.ReadScanline(row.data());
      if (status != kReadOk) return {all, status};
      Append(all, row);
    }
    return {all, kReadOk};
  }
  std::vector<Rgb> Palette() const {
    std::vector<Rgb> out;
    for (const RGBQUAD& q : m_reader.m_palette) {
      EXPECT_EQ(q.rgbReserved, 0);
      out.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue});
    }
    return out;
  }

  test::TempDir m_dir;
  utl::CBufferedFile m_file;
  SunRasterReader m_reader;
  int m_files = 0;
};

TEST_F(ReaderTest, HeaderStatus) {
  const struct {
    const char* fault;
    Bytes file;
    int status;
  } cases[] = {
      {"magic in the other byte order", Raster({0x956AA659, 1, 1, 2, 0, 1, 0, 0}), kReadBadMagic},
      {"depth 0", Raster(H(1, 1, 0)), kReadUnsupported},
      {"depth 2", Raster(H(1, 1, 2)), kReadUnsupported},
      {"depth 33", Raster(H(1, 1, 33)), kReadUnsupported},
      {"depth -1", Raster(H(1, 1, 0xFFFFFFFF)), kReadUnsupported},
      {"type 4", Raster(H(1, 1, 8, 4)), kReadUnsupported},
      {"maptype 2", Raster(H(1, 1, 8, 1, 2)), kReadUnsupported},
      {"width 0", Raster(H(0, 1, 8)), kReadUnsupported},
      {"width -1", Raster(H(0xFFFFFFFF, 1, 8)), kReadUnsupported},
      {"height -1", Raster(H(1, 0xFFFFFFFF, 8)), kReadUnsupported},
      {"width x depth of 2^31", Raster(H(0x04000000, 1, 32)), kReadUnsupported},
      {"pixel data of 2^34 bytes", Raster(H(65536, 65536, 32)), kReadUnsupported},
      {"31-byte file", Raster(H(1, 1, 8), {}, 31), kReadShort},
      {"colour map cut short", Raster(H(1, 1, 8, 1, 1, 6), {1, 2, 3, 4, 5}), kReadShort},
      {"map longer than the file", Raster(H(1, 1, 8, 1, 1, 0x7FFFFFFF), {1, 2, 3}), kReadShort},
      {"largest row width x depth", Raster(H(0x03FFFFFF, 1, 32)), kReadOk},
      {"height 0", Raster(H(1, 0, 8)), kReadOk},
      {"depth 4", Raster(H(1, 1, 4)), kReadOk},
  };
  for (const auto& c : cases) EXPECT_EQ(Open(c.file), c.status) << c.fault;

  ASSERT_EQ(Open(Raster(H(1, 1, 8))), kReadOk);
  EXPECT_EQ(m_reader.ReadScanline(Bytes(2).data()), kReadShort) << "header without rows";
  m_file.Open(m_dir.Put("moved", Raster(H(1, 1, 8), {0, 0})), "rb", utl::ShareRead, false);
  std::uint8_t byte;
  m_file.Read(&byte, 1);
  EXPECT_EQ(m_reader.ReadHeader(&m_file), kReadShort) << "file not at its first byte";
  EXPECT_EQ(m_reader.ReadHeader(nullptr), kReadShort);
}

// The palette a header leaves, and that the pixel data starts right after the map.
TEST_F(ReaderTest, PaletteAndStartOfPixelData) {
  const auto ramp = [](int count, int step) {
    std::vector<Rgb> p(256, Rgb{0, 0, 0});
    for (int i = 0; i < count; ++i) p[i] = {i * step, i * step, i * step};
    return p;
  };
  std::vector<Rgb> mono = ramp(0, 0), two = mono, wide = mono;
  mono[0] = {255, 255, 255};
  two[0] = {1, 3, 5};
  two[1] = {2, 4, 6};
  Bytes wideMap(900, 0);
  for (int i = 0; i < 300; ++i) wideMap[i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 256; ++i) wide[i] = {i, 0, 0};
  Append(wideMap, {7, 0});
  const struct {
    const char* name;
    Bytes file;
    std::vector<Rgb> palette;
  } cases[] = {
      {"1-bit without map: 0 white, 1 black", Raster(H(8, 1, 1), {7, 0}), mono},
      {"4-bit grey ramp", Raster(H(2, 1, 4), {7, 0}), ramp(16, 17)},
      {"8-bit grey ramp", Raster(H(2, 1, 8), {7, 0}), ramp(256, 1)},
      {"maplength 7: two entries, the 7th byte is pixel data",
       Raster(H(2, 1, 8, 1, 1, 7), {1, 2, 3, 4, 5, 6, 7, 0}), two},
      {"maplength 1: no entry, nothing skipped", Raster(H(2, 1, 8, 1, 1, 1), {7, 0}), ramp(0, 0)},
      {"maplength 2: no entry", Raster(H(2, 1, 8, 1, 1, 2), {7, 0}), ramp(0, 0)},
      {"300 entries: 256 kept, all skipped", Raster(H(2, 1, 8, 1, 1, 900), wideMap), wide},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Open(c.file), kReadOk) << c.name;
    EXPECT_EQ(Palette(), c.palette) << c.name;
    EXPECT_EQ(Rows(1), std::make_pair(Bytes{7, 0}, 0)) << c.name;
  }
}

// Four stored bytes at every type and depth: only 24 and 32 bits move bytes.
TEST_F(ReaderTest, PixelsInMemoryOrderAtEveryTypeAndDepth) {
  const Bytes stored = {0x00, 0x10, 0x20, 0x30};
  for (std::uint32_t type = 0; type <= kTypeRgb; ++type) {
    for (std::uint32_t depth : {1, 4, 8, 24, 32}) {
      Bytes delivered = stored;  // depth 24: one pixel and the pad byte
      if (depth == 24 && type == kTypeRgb) delivered = {0x20, 0x10, 0x00, 0x30};
      if (depth == 32) delivered = {0x10, 0x20, 0x30, 0x00};
      if (depth == 32 && type == kTypeRgb) delivered = {0x30, 0x20, 0x10, 0x00};
      const Bytes data = type == kTypeByteEncoded ? test::EncodeRuns(stored) : stored;
      ASSERT_EQ(Open(Raster(H(depth == 24 ? 1 : 32 / depth, 1, depth, type), data)), kReadOk);
      EXPECT_EQ(Rows(1), std::make_pair(delivered, 0)) << "type " << type << " depth " << depth;
    }
  }
}

TEST_F(ReaderTest, RowStreams) {
  const struct {
    const char* name;
    std::uint32_t type, width;
    int rows;
    Bytes data, delivered;
    int status;
  } cases[] = {
      {"escaped 0x80", 2, 2, 1, {0x80, 0x00, 0x41}, {0x80, 0x41}, kReadOk},
      {"256 copies", 2, 256, 1, {0x80, 0xFF, 0x41}, Bytes(256, 0x41), kReadOk},
      {"run crossing a row", 2, 4, 2, {0x80, 0x05, 0x41, 0x42, 0x43},
       {0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x42, 0x43}, kReadOk},
      {"run spanning three rows", 2, 2, 3, {0x80, 0x05, 0x41}, Bytes(6, 0x41), kReadOk},
      {"run ending with the row", 2, 2, 2, {0x80, 0x01, 0x41, 0x42, 0x43},
       {0x41, 0x41, 0x42, 0x43}, kReadOk},
      {"ends after an escape", 2, 2, 2, {0x41, 0x42, 0x80}, {0x41, 0x42}, kReadShort},
      {"ends after an escape's count", 2, 2, 2, {0x41, 0x42, 0x80, 0x05}, {0x41, 0x42}, kReadShort},
      {"raw data ends mid-row", 1, 4, 2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4}, kReadShort},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Open(Raster(H(c.width, c.rows, 8, c.type), c.data)), kReadOk) << c.name;
    EXPECT_EQ(Rows(c.rows), std::make_pair(c.delivered, c.status)) << c.name;
  }
}

TEST_F(ReaderTest, ReusedReaderStartsClean) {
  Bytes map(768, 0xFF);
  Append(map, {0x80, 0x05, 0x41});
  ASSERT_EQ(Open(Raster(H(2, 1, 8, 2, 1, 768), map)), kReadOk);
  ASSERT_EQ(Rows(1).second, kReadOk);  // leaves four copies of 0x41 owed
  ASSERT_EQ(Open(Raster(H(2, 1, 8, 2, 1, 3), {9, 9, 9, 0x42, 0x43})), kReadOk);
  EXPECT_EQ(Palette()[1], (Rgb{0, 0, 0})) << "entry left from the earlier map";
  EXPECT_EQ(Rows(1), std::make_pair(Bytes{0x42, 0x43}, 0)) << "run owed by the earlier file";
  EXPECT_EQ(Open(Raster(H(5, 7, 2))), kReadUnsupported);
  EXPECT_EQ(m_reader.m_imageWidth, 2) << "a refused header changes nothing";
  m_reader.Reset();
  EXPECT_EQ(m_reader.ReadScanline(Bytes(2).data()), kReadShort) << "no file after Reset";
}

// Every prefix of a valid file of each type: status 1 while the header or map is cut, then
// exactly the rows that are complete, then status 1 for the cut row.
TEST_F(ReaderTest, EveryPrefixOfAValidFile) {
  const std::pair<HeaderFields, Bytes> files[] = {
      {H(3, 3, 8, 1, 1, 6), {}},  // no data given: rows of distinct bytes
      {H(2, 3, 24, 0), {}},
      {H(1, 3, 32, 3), {}},
      {H(9, 3, 1, 2), {}},
      {H(5, 3, 8, 2), {0x80, 0x06, 0x41, 0x80, 0x00, 0x42, 0x80, 0x08, 0x43}},
  };
  for (const auto& [header, data] : files) {
    SCOPED_TRACE("depth " + std::to_string(header.depth) + " type " + std::to_string(header.type));
    Bytes whole = Raster(header, Bytes(header.maplength, 0x11));
    const std::size_t dataStart = whole.size();
    const auto rowBytes = static_cast<std::size_t>(bytesPerRow(header.width, header.depth));
    for (std::size_t i = 0; i < rowBytes * 3 && data.empty(); ++i) whole.push_back(i * 7 & 0x7F);
    Append(whole, data);
    ASSERT_EQ(Open(whole), kReadOk);
    const Bytes complete = Rows(3).first;
    ASSERT_EQ(complete.size(), rowBytes * 3);
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
      const int status = Open(Raster(header, Bytes(whole.begin() + 32, whole.end()), cut));
      ASSERT_EQ(status, cut < dataStart ? kReadShort : kReadOk) << "cut " << cut;
      if (status != kReadOk) continue;
      const auto [rows, rowStatus] = Rows(3);
      EXPECT_EQ(rowStatus, kReadShort) << "cut " << cut;
      ASSERT_LE(rows.size(), complete.size());
      EXPECT_TRUE(std::equal(rows.begin(), rows.end(), complete.begin())) << "cut " << cut;
      if (data.empty()) {
        EXPECT_EQ(rows.size(), (cut - dataStart) / rowBytes * rowBytes) << "cut " << cut;
      }
    }
  }
}

// A read error is not an end of file: the host's error reaches the caller unchanged.
TEST_F(ReaderTest, ReadErrorsPassThrough) {
  const Bytes file = Raster(H(4, 2, 8, 1, 1, 3), {1, 2, 3, 9, 9, 9, 9, 8, 8, 8, 8});
  for (std::int64_t offset : {0, 20, 33, 36, 40}) {
    utl::SetFileFaults({offset, -1});
    try {
      if (Open(file) == kReadOk) Rows(2);
      ADD_FAILURE() << "no error with a fault at " << offset;
    } catch (const utl::IError& error) {
      EXPECT_EQ(error.Kind(), utl::ErrorKind::FileRead) << offset;
    }
    utl::SetFileFaults({});
    m_file.Close();
  }
}

// Real-world files against reference renderings made by other readers.
class CorpusTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CorpusTest, MatchesReference) {
  const auto dir = test::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no sample folder at " << VEMRA_CORPUS_DIR;
  const auto raster = dir / GetParam();
  utl::CBufferedFile file;
  file.Open(test::WidePath(raster), "rb", utl::ShareRead, false);
  SunRasterReader reader;
  ASSERT_EQ(reader.ReadHeader(&file), kReadOk);
  Bytes rgb, row(static_cast<std::size_t>(reader.BytesPerRow()));
  const int depth = reader.m_bitsPerPixel;
  for (int y = 0; y < reader.m_imageHeight; ++y) {
    ASSERT_EQ(reader.ReadScanline(row.data()), kReadOk) << "row " << y;
    for (int x = 0, bit = 0; x < reader.m_imageWidth; ++x, bit += depth) {
      const std::uint8_t* p = &row[bit / 8];
      if (depth >= 24) {
        Append(rgb, {p[2], p[1], p[0]});
        continue;
      }
      const RGBQUAD& q = reader.m_palette[(*p >> (8 - depth - bit % 8)) & ((1 << depth) - 1)];
      Append(rgb, {q.rgbRed, q.rgbGreen, q.rgbBlue});
    }
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  const std::string reference = std::filesystem::path(raster).replace_extension(".png").string();
  ASSERT_TRUE(png_image_begin_read_from_file(&png, reference.c_str()));
  png.format = PNG_FORMAT_RGB;
  Bytes expected(PNG_IMAGE_SIZE(png));
  ASSERT_TRUE(png_image_finish_read(&png, nullptr, expected.data(), 0, nullptr));
  ASSERT_EQ(png.width, static_cast<png_uint_32>(reader.m_imageWidth));
  ASSERT_EQ(png.height, static_cast<png_uint_32>(reader.m_imageHeight));
  if (std::string(GetParam()) == "32bpp.ras") {
    // This file stores B,G,R,pad, against the format, which puts the pad byte first; so the
    // reader delivers its bytes shifted by one: blue from the file's green, green from its
    // red, red from its always-zero pad. Pinned, so that a change of mind is deliberate.
    for (std::size_t i = 0; i < expected.size(); i += 3) {
      expected[i + 2] = expected[i + 1], expected[i + 1] = expected[i], expected[i] = 0;
    }
  }
  const auto diff = std::mismatch(rgb.begin(), rgb.end(), expected.begin(), expected.end());
  EXPECT_TRUE(diff.first == rgb.end()) << "differs from byte " << (diff.first - rgb.begin());
}

INSTANTIATE_TEST_SUITE_P(Samples, CorpusTest,
                         ::testing::Values("lena-1bit-raw.sun", "lena-1bit-rle.sun",
                                           "lena-8bit-raw.sun", "lena-8bit-rle.sun",
                                           "lena-24bit-raw.sun", "lena-24bit-rle.sun", "gray.ras",
                                           "4bpp.ras", "32bpp.ras"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace vemra
