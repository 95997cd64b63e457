#include "qxio/transport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "hosttest.h"
#include "qxio/manager.h"
#include "recordingmanager.h"

namespace {

using qxio::TrImage;
using utl::ErrorKind;
using vemra::test::Raised;
using vemra::test::RaisedKind;
using Bytes = std::vector<std::uint8_t>;

void Start(TrImage& image, int width, int height, int format, qxio::IProgress* progress = nullptr,
           const RGBQUAD* table = nullptr, unsigned tableSize = 0) {
  image.SetScanlineStart(width, height, static_cast<utl::ColorFormat>(format), 0, 0, table,
                         qxio::RowAccessByIndex, tableSize, progress);
}

struct RowCase {
  utl::ColorFormat format;
  int width;
  std::size_t rowBytes;
};
void PrintTo(const RowCase& c, std::ostream* os) { *os << c.format << " x " << c.width; }

class ImageRows : public ::testing::TestWithParam<RowCase> {};

TEST_P(ImageRows, SizedByBitsPerPixelZeroUntilSetAndCopiedWhole) {
  const RowCase& c = GetParam();
  TrImage image;
  Start(image, c.width, 3, c.format);
  ASSERT_EQ(image.RowBytes(), c.rowBytes);
  const Bytes row = vemra::test::Pattern(c.rowBytes, 1);
  image.SetScanline(row.data(), 1);
  for (int i = 0; i < 3; ++i) {
    Bytes out(c.rowBytes + 1, 0xEE);
    image.GetScanline(out.data(), i);
    EXPECT_EQ(out.back(), 0xEE) << "row " << i << " overran";
    out.pop_back();
    EXPECT_EQ(out, i == 1 ? row : Bytes(c.rowBytes, 0)) << "row " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ImageRows,
    ::testing::Values(RowCase{utl::Gray1, 5, 1}, RowCase{utl::Indexed1, 9, 2},
                      RowCase{utl::Gray4, 5, 3}, RowCase{utl::Indexed4, 1, 1},
                      RowCase{utl::Gray8, 5, 5}, RowCase{utl::BGR555, 3, 6},
                      RowCase{utl::BGR24, 5, 15}, RowCase{utl::BGRA32, 3, 12}));

TEST(Image, RefusesRowsOutsideAndBadDescriptions) {
  TrImage image;
  Start(image, 4, 2, utl::Gray8);
  Bytes row(4);
  for (int index : {-1, 2, INT_MAX, INT_MIN}) {
    EXPECT_TRUE(Raised([&] { image.SetScanline(row.data(), index); })) << index;
    EXPECT_TRUE(Raised([&] { image.GetScanline(row.data(), index); })) << index;
  }
  EXPECT_TRUE(Raised([&] { image.SetScanline(nullptr, 0); }));
  const int bad[][3] = {{-1, 1, utl::Gray8}, {1, -1, utl::Gray8}, {INT_MIN, INT_MIN, utl::BGR24},
                        {1, 1, 0},           {1, 1, 13},         {1, 1, -1}};
  for (const auto& [width, height, format] : bad) {
    EXPECT_TRUE(Raised([&] { Start(image, width, height, format); }))
        << width << " x " << height << " format " << format;
  }
}

// The limit comes from the manager behind the progress; 0 lifts it.
TEST(Image, PixelLimitRefusesBeforeAllocating) {
  const struct {
    std::uint64_t limit;
    int width;
    int height;
    bool fits;
  } cases[] = {
      {100, 10, 10, true},
      {100, 10, 11, false},
      {100, 101, 1, false},
      {qxio::IoManager::kDefaultMaxPixels, 32768, 32769, false},
      {qxio::IoManager::kDefaultMaxPixels, INT_MAX, INT_MAX, false},
      {0, 32768, 32776, true},  // over the default: 128 MiB of untouched zero pages
  };
  for (const auto& c : cases) {
    vemra::test::RecordingManager manager;
    manager.SetMaxPixels(c.limit);
    qxio::CProgress progress(&manager);
    TrImage image;
    const auto start = [&] {
      Start(image, c.width, c.height, utl::Gray1, progress.IProgressPtr());
    };
    EXPECT_EQ(RaisedKind(start), c.fits ? std::optional<ErrorKind>() : ErrorKind::ImageTooLarge)
        << c.width << " x " << c.height;
    EXPECT_EQ(image.GetHeight(), c.fits ? c.height : 0);
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
  TrImage source;
  Start(source, 3, 2, utl::Indexed8, nullptr, table, 2);
  const Bytes row = {7, 8, 9};
  source.SetScanline(row.data(), 1);
  const auto expectEmpty = [](const TrImage& image) {
    EXPECT_EQ(image.GetWidth() + image.GetHeight(), 0);
    EXPECT_EQ(image.RowBytes(), 0u);
    EXPECT_EQ(image.GetColorFormat(), utl::ColorFormatUnknown);
    EXPECT_EQ(image.GetNumColorTableEntriesUsed(), 0u);
    EXPECT_EQ(image.Row(0), nullptr);
  };
  TrImage moved(std::move(source));
  expectEmpty(source);
  TrImage assigned;
  assigned = std::move(moved);
  expectEmpty(moved);
  EXPECT_EQ(assigned.GetColorFormat(), utl::Indexed8);
  EXPECT_EQ(assigned.GetNumColorTableEntriesUsed(), 2u);
  Bytes out(3);
  assigned.GetScanline(out.data(), 1);
  EXPECT_EQ(out, row);
}

TEST(Progress, BracketsTheWorkAndForwardsToTheManager) {
  vemra::test::RecordingManager manager;
  manager.SetMaxPixels(1234);
  {
    qxio::CProgress progress(&manager);
    ASSERT_EQ(manager.m_progressStarts.size(), 1u);
    const auto& start = manager.m_progressStarts[0];
    EXPECT_TRUE(start.title.empty() && start.cancellable && start.showProportion);
    progress.Proportion(0.25);
    progress.IProgressPtr()->Proportion(1.0);
    progress.MessageVA(L"Importing %s file %s (%d)", L"SUN", L"b\u00E4r.ras", 3);
    EXPECT_EQ(progress.IProgressPtr()->MaxPixels(), 1234u);
    EXPECT_EQ(manager.m_progressEnds, 0);
  }
  EXPECT_EQ(manager.m_progressEnds, 1);
  EXPECT_EQ(manager.m_proportions, (std::vector<double>{0.25, 1.0}));
  EXPECT_EQ(manager.m_messages, std::vector<std::wstring>{L"Importing SUN file b\u00E4r.ras (3)"});
}

}  // namespace
