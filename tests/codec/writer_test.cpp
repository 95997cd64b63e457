#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sunrasterwriter.h"
#include "testfiles.h"

namespace vemra {
namespace {

using test::Bytes;

std::uint32_t Be32(const Bytes& bytes, std::size_t offset) {
  return std::uint32_t(bytes.at(offset)) << 24 | std::uint32_t(bytes.at(offset + 1)) << 16 |
         std::uint32_t(bytes.at(offset + 2)) << 8 | std::uint32_t(bytes.at(offset + 3));
}

std::vector<std::uint32_t> HeaderWords(const Bytes& file) {
  std::vector<std::uint32_t> words;
  for (std::size_t i = 0; i < 8; ++i) words.push_back(Be32(file, 4 * i));
  return words;
}

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t count) {
  EXPECT_LE(offset + count, bytes.size());
  if (offset + count > bytes.size()) return {};
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

// A palette whose red, green and blue bytes tell entry and plane apart.
std::vector<RGBQUAD> DistinctPalette() {
  std::vector<RGBQUAD> palette(256);
  for (int i = 0; i < 256; ++i) {
    palette[i] = RGBQUAD{static_cast<std::uint8_t>(i ^ 0x5A), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i), 0x77};
  }
  return palette;
}

class WriterTest : public ::testing::Test {
protected:
  // Opens a new file; with failWriteAfter >= 0, no Write may take the file past that offset.
  void Open(std::int64_t failWriteAfter = -1) {
    utl::SetFileFaults({-1, failWriteAfter});
    m_path = m_dir.Wide("out" + std::to_string(m_files++) + ".ras");
    m_file.Open(m_path, "wb", utl::ShareNone, false);
    utl::SetFileFaults({});
  }
  Bytes Finish() {
    m_writer.Reset();
    m_file.Close();
    return test::ReadFile(m_dir / ("out" + std::to_string(m_files - 1) + ".ras"));
  }

  test::TempDir m_dir;
  std::wstring m_path;
  utl::CBufferedFile m_file;
  SunRasterWriter m_writer;
  int m_files = 0;
};

TEST_F(WriterTest, HeaderFieldsAndLayout) {
  const struct {
    std::int32_t depth, width, height;
    std::uint32_t length, maptype, maplength;
  } cases[] = {
      {8, 3, 2, 8, 1, 768},  // three pixels and one pad byte per row
      {1, 1, 1, 2, 1, 6},    // one pixel byte and one pad byte
      {1, 9, 3, 6, 1, 6},    // nine bits take two bytes
      {24, 5, 2, 32, 0, 0},  // fifteen bytes and one pad byte; the palette is not used
      {24, 1, 1, 4, 0, 0},   // three bytes and one pad byte
      {32, 1, 3, 12, 0, 0},  // 32-bit rows are never padded
  };
  const std::vector<RGBQUAD> palette = DistinctPalette();
  for (const auto& c : cases) {
    SCOPED_TRACE("depth " + std::to_string(c.depth) + " width " + std::to_string(c.width));
    Open();
    ASSERT_EQ(m_writer.WriteHeader(&m_file, c.width, c.height, c.depth, palette.data()), kWriteOk);
    const Bytes row(static_cast<std::size_t>(c.width) * 4, 0xAB);
    for (int y = 0; y < c.height; ++y) ASSERT_EQ(m_writer.WriteScanline(row.data()), kWriteOk);
    EXPECT_EQ(m_writer.CurrentRow(), static_cast<std::uint32_t>(c.height));
    const Bytes file = Finish();
    EXPECT_EQ(HeaderWords(file), (std::vector<std::uint32_t>{
                                     0x59A66A95, std::uint32_t(c.width), std::uint32_t(c.height),
                                     std::uint32_t(c.depth), c.length, 1, c.maptype, c.maplength}));
    EXPECT_EQ(Slice(file, 0, 4), (Bytes{0x59, 0xA6, 0x6A, 0x95}));
    EXPECT_EQ(file.size(), 32 + c.maplength + c.length);
  }
}

TEST_F(WriterTest, ColorMapIsThreePlanes) {
  const std::vector<RGBQUAD> palette = DistinctPalette();
  for (int depth : {1, 8}) {
    SCOPED_TRACE(depth);
    const std::size_t entries = std::size_t(1) << depth;
    for (bool withPalette : {true, false}) {
      Open();
      ASSERT_EQ(m_writer.WriteHeader(&m_file, 2, 1, depth, withPalette ? palette.data() : nullptr),
                kWriteOk);
      const Bytes map = Slice(Finish(), 32, 3 * entries);
      for (std::size_t i = 0; i < entries; ++i) {
        // Without a palette the map is a grey ramp over 0..255.
        const auto grey = static_cast<std::uint8_t>(i * 255 / (entries - 1));
        EXPECT_EQ(map[i], withPalette ? palette[i].rgbRed : grey) << i;
        EXPECT_EQ(map[entries + i], withPalette ? palette[i].rgbGreen : grey) << i;
        EXPECT_EQ(map[2 * entries + i], withPalette ? palette[i].rgbBlue : grey) << i;
      }
    }
  }
}

// Each row holds its pixel bytes as given (32-bit ones pad first) and zeros up to an even
// length; bytes of the caller's row past the pixels never reach the file.
TEST_F(WriterTest, RowPaddingAcrossWidths) {
  for (int depth : {1, 8, 24, 32}) {
    for (int width = 1; width <= 9; ++width) {
      SCOPED_TRACE("depth " + std::to_string(depth) + " width " + std::to_string(width));
      const std::size_t pixelBytes = depth == 1 ? (width + 7) / 8 : width * depth / 8;
      const std::size_t rowBytes = pixelBytes + pixelBytes % 2;
      Bytes rows[2];
      for (int y = 0; y < 2; ++y) {
        rows[y].assign(40, 0xEE);
        for (std::size_t i = 0; i < pixelBytes; ++i) {
          rows[y][i] = static_cast<std::uint8_t>(16 * y + i + 1);
        }
      }
      Open();
      ASSERT_EQ(m_writer.WriteHeader(&m_file, width, 2, depth, nullptr), kWriteOk);
      ASSERT_EQ(m_writer.BytesPerRow(), static_cast<std::int32_t>(rowBytes));
      for (const Bytes& row : rows) ASSERT_EQ(m_writer.WriteScanline(row.data()), kWriteOk);
      const Bytes file = Finish();
      const std::size_t start = depth <= 8 ? 32 + (3u << depth) : 32;
      ASSERT_EQ(file.size(), start + 2 * rowBytes);
      for (int y = 0; y < 2; ++y) {
        Bytes expected(rows[y].begin(), rows[y].begin() + static_cast<std::ptrdiff_t>(pixelBytes));
        if (depth == 32) {
          for (std::size_t p = 0; p < expected.size(); p += 4) {
            expected[p] = rows[y][p + 3];
            expected[p + 1] = rows[y][p];
            expected[p + 2] = rows[y][p + 1];
            expected[p + 3] = rows[y][p + 2];
          }
        }
        expected.resize(rowBytes, 0);
        EXPECT_EQ(Slice(file, start + y * rowBytes, rowBytes), expected) << "row " << y;
      }
    }
  }
}

TEST_F(WriterTest, Depth32PadByteMovesFirst) {
  Open();
  ASSERT_EQ(m_writer.WriteHeader(&m_file, 2, 1, 32, nullptr), kWriteOk);
  const Bytes row = {0x10, 0x20, 0x30, 0xFF, 0x11, 0x21, 0x31, 0xEE};
  ASSERT_EQ(m_writer.WriteScanline(row.data()), kWriteOk);
  EXPECT_EQ(Slice(Finish(), 32, 8), (Bytes{0xFF, 0x10, 0x20, 0x30, 0xEE, 0x11, 0x21, 0x31}));
  EXPECT_EQ(row, (Bytes{0x10, 0x20, 0x30, 0xFF, 0x11, 0x21, 0x31, 0xEE}));
}

TEST_F(WriterTest, HeaderStatusAndCheckOrder) {
  const struct {
    const char* name;
    bool file;
    std::int32_t width, height, depth;
    int status;
    std::uint32_t length;  // the header's length field when accepted
  } cases[] = {
      {"no file", false, 1, 1, 8, kWriteBadArgument, 0},
      {"width 0", true, 0, 1, 8, kWriteBadArgument, 0},
      {"height 0", true, 1, 0, 8, kWriteBadArgument, 0},
      {"depth 0", true, 1, 1, 0, kWriteBadArgument, 0},
      {"negative width", true, -3, 1, 8, kWriteBadArgument, 0},
      {"negative depth", true, 1, 1, -8, kWriteBadArgument, 0},
      {"width 0 before depth 4", true, 0, 1, 4, kWriteBadArgument, 0},
      {"depth 4", true, 1, 1, 4, kWriteUnsupportedDepth, 0},
      {"depth 2", true, 1, 1, 2, kWriteUnsupportedDepth, 0},
      {"depth 33", true, 1, 1, 33, kWriteUnsupportedDepth, 0},
      {"depth 64", true, 1, 1, 64, kWriteUnsupportedDepth, 0},
      {"depth 4 before size", true, 0x7FFFFFFF, 1, 4, kWriteUnsupportedDepth, 0},
      {"row bits beyond 31 bits", true, 0x10000000, 1, 8, kWriteTooLarge, 0},
      {"widest row", true, 0x7FFFFFFF, 1, 32, kWriteTooLarge, 0},
      {"length field overflows", true, 65536, 16384, 32, kWriteTooLarge, 0},
      {"largest 32-bit length", true, 65536, 16383, 32, kWriteOk, 65536u * 4u * 16383u},
      {"tall 1-bit image", true, 16, 0x7FFFFFFF, 1, kWriteOk, 0xFFFFFFFEu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Open();
    SunRasterWriter writer;
    EXPECT_EQ(writer.WriteHeader(c.file ? &m_file : nullptr, c.width, c.height, c.depth, nullptr),
              c.status);
    const Bytes file = Finish();
    if (c.status == kWriteOk) {
      EXPECT_EQ(Be32(file, 16), c.length);
    } else {
      EXPECT_TRUE(file.empty());  // refused before any byte is written
      const Bytes row(8, 0);
      EXPECT_EQ(writer.WriteScanline(row.data()), kWriteNoHeader);
    }
  }
}

TEST(WriterStatusText, EveryStatusHasItsOwnWords) {
  std::vector<std::string> texts;
  for (int status = kWriteOk; status <= kWriteTooLarge; ++status) {
    const std::string text = WriteStatusText(status);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 0) << text;
    texts.push_back(text);
  }
  EXPECT_EQ(std::count(texts.begin(), texts.end(), std::string(WriteStatusText(-1))), 0);
}

TEST_F(WriterTest, ScanlineStatus) {
  const Bytes row(8, 0);
  SunRasterWriter fresh;
  EXPECT_EQ(fresh.WriteScanline(row.data()), kWriteNoHeader);
  EXPECT_EQ(fresh.WriteScanline(nullptr), kWriteBadArgument);

  Open();
  ASSERT_EQ(m_writer.WriteHeader(&m_file, 1, 1, 8, nullptr), kWriteOk);
  EXPECT_EQ(m_writer.WriteScanline(nullptr), kWriteBadArgument);
  m_writer.Reset();
  EXPECT_EQ(m_writer.WriteScanline(row.data()), kWriteNoHeader);
  EXPECT_EQ(Finish().size(), 32u + 768u);  // nothing written after the failures
}

// The fault offset stops the first Write that would pass it; what was handed over before
// stays in the file.
TEST_F(WriterTest, WriteFailures) {
  const struct {
    const char* name;
    std::int32_t depth, width;
    std::int64_t failAfter;
    int headerStatus;
    int rowsWritten;       // rows that succeed before one fails
    std::size_t fileSize;  // bytes handed to the file before the failing Write
  } cases[] = {
      {"header", 8, 3, 0, kWriteFailed, 0, 0},
      {"header's last byte", 24, 3, 31, kWriteFailed, 0, 0},  // one Write for all 32
      {"first map byte", 1, 3, 32, kWriteFailed, 0, 32},
      {"inside the green plane", 8, 3, 32 + 300, kWriteFailed, 0, 32 + 300},
      {"third 24-bit pixel", 24, 5, 32 + 6, kWriteOk, 0, 32 + 6},
      {"third 32-bit pixel", 32, 5, 32 + 8, kWriteOk, 0, 32 + 8},
      {"pad byte of a 24-bit row", 24, 5, 32 + 15, kWriteOk, 0, 32 + 15},
      {"8-bit pixels of row 2", 8, 3, 32 + 768 + 4 + 2, kWriteOk, 1, 32 + 768 + 4},
      {"1-bit pixels of row 3", 1, 9, 32 + 6 + 4 + 1, kWriteOk, 2, 32 + 6 + 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes row(static_cast<std::size_t>(c.width) * 4);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(i + 1);
    Open(c.failAfter);
    ASSERT_EQ(m_writer.WriteHeader(&m_file, c.width, 4, c.depth, nullptr), c.headerStatus);
    if (c.headerStatus == kWriteOk) {
      for (int y = 0; y < c.rowsWritten; ++y) {
        ASSERT_EQ(m_writer.WriteScanline(row.data()), kWriteOk);
      }
      EXPECT_EQ(m_writer.WriteScanline(row.data()), kWriteFailed);
      EXPECT_EQ(m_writer.CurrentRow(), static_cast<std::uint32_t>(c.rowsWritten));
    }
    const Bytes file = Finish();
    ASSERT_EQ(file.size(), c.fileSize);
    if (c.depth == 24 && c.headerStatus == kWriteOk && c.failAfter == 32 + 6) {
      EXPECT_EQ(Slice(file, 32, 6), (Bytes{1, 2, 3, 4, 5, 6}));  // the first two pixels
    }
    if (c.depth == 32 && c.headerStatus == kWriteOk) {
      EXPECT_EQ(Slice(file, 32, 8), (Bytes{4, 1, 2, 3, 8, 5, 6, 7}));
    }
  }
}

}  // namespace
}  // namespace vemra
