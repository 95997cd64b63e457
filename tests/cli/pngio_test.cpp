// qxhost's parts that a CLI run cannot observe well: progress drawing and PNG bit packing.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "pngio.h"
#include "progressbar.h"
#include "testfiles.h"
#include "utl/bufferedfile.h"
#include "utl/colorformat.h"
#include "utl/error.h"

namespace qxhost::test {
namespace {

using vemra::test::Bytes;

TEST(ProgressBar, RedrawsOnlyWhenThePercentageChangesAndClearsAtTheEnd) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  ProgressBar bar(out, 60);
  bar.Start();
  bar.Message(L"Importing SUN file a.ras");
  for (int row = 0; row <= 100000; ++row) bar.Proportion(row / 100000.0);
  bar.End();
  std::rewind(out);
  int redraws = 0;
  for (int c; (c = std::fgetc(out)) != EOF;) redraws += c == '\r';
  EXPECT_EQ(redraws, 101 + 2);  // the message at 0%, then 1% to 100%, then the clearing
  std::string tail(61, '\0');
  std::fseek(out, -61, SEEK_END);
  ASSERT_EQ(std::fread(&tail[0], 1, tail.size(), out), tail.size());
  std::fclose(out);
  EXPECT_EQ(tail, "\r" + std::string(59, ' ') + "\r");
}

// Rows of a byte pattern; bits past the last pixel carry nothing (a PNG need not keep them).
qxio::TrImage MakeImage(int width, int height, utl::ColorFormat format,
                        const RGBQUAD* table = nullptr, unsigned entries = 0) {
  qxio::TrImage image;
  image.SetScanlineStart(width, height, format, 0, 0, table, qxio::RowAccessByIndex, entries,
                         nullptr);
  const int tail = width * utl::BitsPerPixel(format) % 8;
  Bytes row(image.RowBytes());
  for (int y = 0; y < height; ++y) {
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = std::uint8_t(i * 151 + y * 19 + 5);
    if (tail != 0) row.back() &= std::uint8_t(0xFF << (8 - tail));
    image.SetScanline(row.data(), y);
  }
  image.SetScanlineEnd(nullptr, 0);
  return image;
}

// Rows and colour tables keep every bit through a PNG at the widths where packing and row ends
// go wrong.
TEST(PngIo, HostFormatsSurviveWriteAndRead) {
  vemra::test::TempDir dir;
  qxio::IoManager manager;
  RGBQUAD table[256];
  for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{std::uint8_t(i), std::uint8_t(i * 7), 9, 0};
  for (utl::ColorFormat format : {utl::Gray1, utl::Gray4, utl::Gray8, utl::Indexed1, utl::Indexed4,
                                  utl::Indexed8, utl::BGR24}) {
    const bool indexed = format == utl::Indexed1 || format == utl::Indexed4 || format == utl::Indexed8;
    const unsigned entries = indexed ? 1u << utl::BitsPerPixel(format) : 0u;
    for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 113, 163}) {
      SCOPED_TRACE("format " + std::to_string(format) + ", width " + std::to_string(width));
      const qxio::TrImage image = MakeImage(width, 3, format, table, entries);
      WritePng(image, dir.Wide("image.png"), manager);
      const qxio::TrImage back = ReadPng(dir.Wide("image.png"), manager);
      ASSERT_EQ(back.GetColorFormat(), format);
      ASSERT_EQ(back.GetWidth(), width);
      ASSERT_EQ(back.GetHeight(), 3);
      for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(Bytes(back.Row(y), back.Row(y) + back.RowBytes()),
                  Bytes(image.Row(y), image.Row(y) + image.RowBytes()));
      }
      RGBQUAD backTable[256] = {};
      back.GetColorTable(backTable, 0, static_cast<int>(entries));
      for (unsigned i = 0; i < entries; ++i) {
        EXPECT_EQ(backTable[i].rgbGreen, table[i].rgbGreen);
        EXPECT_EQ(backTable[i].rgbBlue, table[i].rgbBlue);
      }
    }
  }
}

// The file layer's errors pass through libpng unchanged, and a PNG that fails while being
// written leaves neither itself nor a temporary file, and the old file as it was.
TEST(PngIo, FileFaultsLeaveNothingBehind) {
  struct FaultsOff {
    ~FaultsOff() { utl::SetFileFaults({}); }
  } faultsOff;
  vemra::test::TempDir dir;
  qxio::IoManager manager;
  const qxio::TrImage image = MakeImage(64, 64, utl::BGR24);
  dir.Put("old.png", {'o', 'l', 'd'});

  utl::SetFileFaults({-1, 40});
  EXPECT_THROW(WritePng(image, dir.Wide("old.png"), manager), utl::IError);
  utl::SetFileFaults({});
  EXPECT_EQ(dir.List(), std::vector<std::string>{"old.png"});
  EXPECT_EQ(vemra::test::ReadFile(dir / "old.png"), Bytes({'o', 'l', 'd'}));

  WritePng(image, dir.Wide("new.png"), manager);
  utl::SetFileFaults({40, -1});
  EXPECT_THROW(ReadPng(dir.Wide("new.png"), manager), utl::IError);
}

}  // namespace
}  // namespace qxhost::test
