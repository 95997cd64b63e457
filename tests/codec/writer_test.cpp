#include "sunrasterwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "rasterbytes.h"
#include "testfiles.h"

namespace vemra {
namespace {

using test::Bytes;

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t count) {
  if (offset + count > bytes.size()) return {};
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

class WriterTest : public ::testing::Test {
protected:
  // Opens a new file; with failWriteAfter >= 0, no Write may take the file past that offset.
  void Open(std::int64_t failWriteAfter = -1) {
    utl::SetFileFaults({-1, failWriteAfter});
    m_file.Open(m_dir.Wide("out" + std::to_string(++m_files)), "wb", utl::ShareNone, false);
    utl::SetFileFaults({});
  }
  Bytes Finish() {
    m_writer.Reset();
    m_file.Close();
    return test::ReadFile(m_dir / ("out" + std::to_string(m_files)));
  }

  test::TempDir m_dir;
  utl::CBufferedFile m_file;
  SunRasterWriter m_writer;
  int m_files = 0;
};

// Header fields, then each row's pixel bytes as given (32-bit ones with the pad byte moved
// first) and zeros up to an even length; the caller's bytes past the pixels never reach the
// file, and the caller's row is left as it was.
TEST_F(WriterTest, HeaderAndRowPaddingAcrossWidths) {
  for (std::int32_t depth : {1, 8, 24, 32}) {
    for (std::int32_t width = 1; width <= 9; ++width) {
      SCOPED_TRACE("depth " + std::to_string(depth) + " width " + std::to_string(width));
      const std::size_t pixelBytes = depth == 1 ? (width + 7) / 8 : width * depth / 8;
      const std::size_t rowBytes = pixelBytes + pixelBytes % 2;
      Bytes rows[2];
      for (int y = 0; y < 2; ++y) {
        rows[y].assign(40, 0xEE);
        for (std::size_t i = 0; i < pixelBytes; ++i) rows[y][i] = std::uint8_t(16 * y + i + 1);
      }
      const Bytes given[2] = {rows[0], rows[1]};
      Open();
      ASSERT_EQ(m_writer.WriteHeader(&m_file, width, 2, depth, nullptr), kWriteOk);
      for (const Bytes& row : rows) ASSERT_EQ(m_writer.WriteScanline(row.data()), kWriteOk);
      const Bytes file = Finish();
      const std::uint32_t mapBytes = depth <= 8 ? 3u << depth : 0;
      EXPECT_EQ(Slice(file, 0, 32),
                test::HeaderBytes({0x59A66A95, std::uint32_t(width), 2, std::uint32_t(depth),
                                   std::uint32_t(2 * rowBytes), 1, depth <= 8, mapBytes}));
      ASSERT_EQ(file.size(), 32 + mapBytes + 2 * rowBytes);
      for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(rows[y], given[y]) << "the caller's row changed";
        Bytes expected(rows[y].begin(), rows[y].begin() + static_cast<std::ptrdiff_t>(pixelBytes));
        for (std::size_t p = 0; depth == 32 && p < expected.size(); p += 4) {
          std::rotate(expected.begin() + p, expected.begin() + p + 3, expected.begin() + p + 4);
        }
        expected.resize(rowBytes, 0);
        EXPECT_EQ(Slice(file, 32 + mapBytes + y * rowBytes, rowBytes), expected) << "row " << y;
      }
    }
  }
}

TEST_F(WriterTest, ColorMapIsThreePlanes) {
  std::vector<RGBQUAD> palette(256);  // red, green and blue tell entry and plane apart
  for (int i = 0; i < 256; ++i) {
    palette[i] = RGBQUAD{std::uint8_t(i ^ 0x5A), std::uint8_t(255 - i), std::uint8_t(i), 0x77};
  }
  for (int depth : {1, 8}) {
    const std::size_t entries = std::size_t(1) << depth;
    for (bool withPalette : {true, false}) {
      Open();
      ASSERT_EQ(m_writer.WriteHeader(&m_file, 2, 1, depth, withPalette ? palette.data() : nullptr),
                kWriteOk);
      const Bytes map = Slice(Finish(), 32, 3 * entries);
      ASSERT_EQ(map.size(), 3 * entries);
      for (std::size_t i = 0; i < entries; ++i) {
        const auto grey = std::uint8_t(i * 255 / (entries - 1));  // the ramp without a palette
        const RGBQUAD q = withPalette ? palette[i] : RGBQUAD{grey, grey, grey, 0};
        EXPECT_EQ((Bytes{map[i], map[entries + i], map[2 * entries + i]}),
                  (Bytes{q.rgbRed, q.rgbGreen, q.rgbBlue})) << "depth " << depth << " entry " << i;
      }
    }
  }
}

// Refusals are checked in order (arguments, depth, size) and write nothing.
TEST_F(WriterTest, Statuses) {
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
  const Bytes row(8, 0);
  for (const auto& c : cases) {
    Open();
    SunRasterWriter writer;
    EXPECT_EQ(writer.WriteHeader(c.file ? &m_file : nullptr, c.width, c.height, c.depth, nullptr),
              c.status) << c.name;
    const Bytes file = Finish();
    if (c.status == kWriteOk) {
      Bytes length;
      test::AppendBe32(length, c.length);
      EXPECT_EQ(Slice(file, 16, 4), length) << c.name;
    } else {
      EXPECT_TRUE(file.empty()) << c.name;
      EXPECT_EQ(writer.WriteScanline(row.data()), kWriteNoHeader) << c.name;
    }
  }
  EXPECT_EQ(SunRasterWriter().WriteScanline(nullptr), kWriteBadArgument);
  Open();
  ASSERT_EQ(m_writer.WriteHeader(&m_file, 1, 1, 8, nullptr), kWriteOk);
  EXPECT_EQ(m_writer.WriteScanline(nullptr), kWriteBadArgument);
  m_writer.Reset();
  EXPECT_EQ(m_writer.WriteScanline(row.data()), kWriteNoHeader);
  EXPECT_EQ(Finish().size(), 32u + 768u);  // nothing written after the refusals

  std::vector<std::string> texts = {WriteStatusText(-1)};
  for (int status = kWriteOk; status <= kWriteTooLarge; ++status) {
    EXPECT_EQ(std::count(texts.begin(), texts.end(), WriteStatusText(status)), 0) << status;
    texts.push_back(WriteStatusText(status));
  }
}

// The fault offset stops the first Write that would pass it; what was handed over before
// stays in the file.
TEST_F(WriterTest, WriteFailures) {
  const struct {
    const char* name;
    std::int32_t depth, width;
    std::int64_t failAfter;
    int headerStatus, rowsWritten;  // rows that succeed before one fails
    std::size_t fileSize;           // bytes handed to the file before the failing Write
    Bytes last;                     // the file's last bytes
  } cases[] = {
      {"header", 8, 3, 0, kWriteFailed, 0, 0, {}},
      {"header's last byte", 24, 3, 31, kWriteFailed, 0, 0, {}},  // one Write for all 32
      {"first map byte", 1, 3, 32, kWriteFailed, 0, 32, {}},
      {"inside the green plane", 8, 3, 32 + 300, kWriteFailed, 0, 32 + 300, {}},
      {"third 24-bit pixel", 24, 5, 32 + 6, kWriteOk, 0, 32 + 6, {1, 2, 3, 4, 5, 6}},
      {"third 32-bit pixel", 32, 5, 32 + 8, kWriteOk, 0, 32 + 8, {4, 1, 2, 3, 8, 5, 6, 7}},
      {"pad byte of a 24-bit row", 24, 5, 32 + 15, kWriteOk, 0, 32 + 15, {13, 14, 15}},
      {"8-bit pixels of row 2", 8, 3, 32 + 768 + 4 + 2, kWriteOk, 1, 32 + 768 + 4, {1, 2, 3, 0}},
      {"1-bit pixels of row 3", 1, 9, 32 + 6 + 4 + 1, kWriteOk, 2, 32 + 6 + 4, {1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes row(static_cast<std::size_t>(c.width) * 4);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(i + 1);
    Open(c.failAfter);
    ASSERT_EQ(m_writer.WriteHeader(&m_file, c.width, 4, c.depth, nullptr), c.headerStatus);
    for (int y = 0; y < c.rowsWritten; ++y) ASSERT_EQ(m_writer.WriteScanline(row.data()), kWriteOk);
    if (c.headerStatus == kWriteOk) {
      EXPECT_EQ(m_writer.WriteScanline(row.data()), kWriteFailed);
    }
    const Bytes file = Finish();
    ASSERT_EQ(file.size(), c.fileSize);
    EXPECT_EQ(Slice(file, c.fileSize - c.last.size(), c.last.size()), c.last);
  }
}

}  // namespace
}  // namespace vemra
