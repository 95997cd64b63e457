// What the export writes for each host colour format: depth, colour map and pixels, read back
// by our reader and by netpbm's rasttopnm.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "export_support.h"
#include "recordingmanager.h"
#include "sunexportfilter.h"
#include "testfiles.h"
#include "utl/error.h"

namespace vemra {
namespace {

using test::Bytes;
using test::Picture;
using test::Rgb;

constexpr int kWidths[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 113, 163};
constexpr int kHeights[] = {1, 3, 7};

// Entries the sweep gives indexed images: their whole table.
unsigned FullTable(utl::ColorFormat format) {
  switch (format) {
    case utl::Indexed1:
      return 2;
    case utl::Indexed4:
      return 16;
    case utl::Indexed8:
      return 256;
    default:
      return 0;
  }
}

int DepthFor(utl::ColorFormat format) {
  switch (format) {
    case utl::Gray1:
    case utl::Indexed1:
      return 1;
    case utl::Gray4:
    case utl::Gray8:
    case utl::Indexed4:
    case utl::Indexed8:
      return 8;
    case utl::BGRA32:
      return 32;
    default:
      return 24;
  }
}

class ExportImageTest : public ::testing::Test {
protected:
  // Exports the image as the only object of a transfer and returns the file's path.
  std::filesystem::path Export(qxio::TrImage& image) {
    const std::string name = "out" + std::to_string(m_files++) + ".ras";
    SunExportFilter filter(m_manager);
    filter.BeginExport(m_dir.Wide(name));
    EXPECT_EQ(filter.ExportObject(image), qxio::ExportDone);
    EXPECT_EQ(filter.EndExport(), qxio::ExportDone);
    return m_dir / name;
  }

  // Exports the sweep of sizes and compares what read() sees with the source pixels.
  template <typename Read>
  void Sweep(utl::ColorFormat format, Read read) {
    for (int height : kHeights) {
      for (int width : kWidths) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        qxio::TrImage image = test::MakeImage(format, width, height, FullTable(format));
        const std::filesystem::path path = Export(image);
        const Picture picture = read(path);
        ASSERT_EQ(picture.width, width);
        ASSERT_EQ(picture.height, height);
        ASSERT_EQ(picture.pixels.size(), static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
          for (int x = 0; x < width; ++x) {
            const Rgb want = test::SourcePixel(image, x, y);
            const Rgb got = picture.pixels[static_cast<std::size_t>(y) * width + x];
            ASSERT_EQ(got, want) << "pixel " << x << "," << y << ": got " << got.r << "," << got.g
                                 << "," << got.b << " want " << want.r << "," << want.g << ","
                                 << want.b;
          }
        }
        if (format == utl::BGRA32 && !picture.pads.empty()) {
          for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
              ASSERT_EQ(picture.pads[static_cast<std::size_t>(y) * width + x],
                        image.Row(y)[4 * x + 3]);  // the fourth byte survives
            }
          }
        }
        std::filesystem::remove(path);
      }
    }
  }

  test::RecordingManager m_manager;
  test::TempDir m_dir;
  int m_files = 0;
};

class ExportFormatTest : public ExportImageTest,
                         public ::testing::WithParamInterface<utl::ColorFormat> {};

TEST_P(ExportFormatTest, OurReaderSeesTheSourcePixels) {
  Sweep(GetParam(), [&](const std::filesystem::path& path) {
    Picture picture = test::ReadWithOurReader(path);
    EXPECT_EQ(picture.depth, DepthFor(GetParam()));
    return picture;
  });
}

TEST_P(ExportFormatTest, RasttopnmSeesTheSourcePixels) {
  qxio::TrImage probe = test::MakeImage(utl::Gray8, 1, 1);
  if (!test::ReadWithRasttopnm(Export(probe))) {
    GTEST_SKIP() << "rasttopnm is not installed (Debian package netpbm)";
  }
  Sweep(GetParam(), [](const std::filesystem::path& path) {
    return test::ReadWithRasttopnm(path).value_or(Picture());
  });
}

INSTANTIATE_TEST_SUITE_P(EveryHostFormat, ExportFormatTest,
                         ::testing::Values(utl::Gray1, utl::Gray4, utl::Gray8, utl::BGR555,
                                           utl::BGR565, utl::Indexed1, utl::Indexed4, utl::Indexed8,
                                           utl::BGR24, utl::BGRA32, utl::RGB24, utl::Gray16),
                         [](const ::testing::TestParamInfo<utl::ColorFormat>& info) {
                           return test::FormatName(info.param);
                         });

std::vector<Rgb> GreyRamp(int entries) {
  std::vector<Rgb> map;
  for (int i = 0; i < entries; ++i) {
    const int level = i * 255 / (entries - 1);
    map.push_back({level, level, level});
  }
  return map;
}

// The first `used` entries of MakeImage's colour table.
std::vector<Rgb> TablePrefix(int used) {
  const qxio::TrImage image = test::MakeImage(utl::Indexed8, 1, 1, 256);
  std::vector<Rgb> map;
  for (int i = 0; i < used; ++i) {
    RGBQUAD q;
    image.GetColorTable(&q, i, 1);
    map.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue});
  }
  return map;
}

TEST_F(ExportImageTest, DepthAndColourMapPerFormat) {
  const struct {
    utl::ColorFormat format;
    unsigned tableSize;
    std::uint32_t depth;
    std::vector<Rgb> mapStart;  // the rest of the map is black
  } cases[] = {
      {utl::Gray1, 0, 1, GreyRamp(2)},
      {utl::Gray4, 0, 8, GreyRamp(16)},  // its pixels are 0..15
      {utl::Gray8, 0, 8, GreyRamp(256)},
      {utl::Indexed1, 5, 1, TablePrefix(2)},
      {utl::Indexed1, 1, 1, TablePrefix(1)},
      {utl::Indexed4, 5, 8, TablePrefix(5)},
      {utl::Indexed4, 0, 8, {}},
      {utl::Indexed8, 5, 8, TablePrefix(5)},
      {utl::Indexed8, 256, 8, TablePrefix(256)},
      {utl::BGR555, 0, 24, {}},
      {utl::BGR565, 0, 24, {}},
      {utl::BGR24, 0, 24, {}},
      {utl::BGRA32, 0, 32, {}},
      {utl::RGB24, 0, 24, {}},
      {utl::Gray16, 0, 24, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(test::FormatName(c.format) + " with " + std::to_string(c.tableSize) + " entries");
    qxio::TrImage image = test::MakeImage(c.format, 3, 2, c.tableSize);
    const Bytes file = test::ReadFile(Export(image));
    ASSERT_GE(file.size(), 32u);
    const auto word = [&file](std::size_t i) {
      return std::uint32_t(file[4 * i]) << 24 | std::uint32_t(file[4 * i + 1]) << 16 |
             std::uint32_t(file[4 * i + 2]) << 8 | std::uint32_t(file[4 * i + 3]);
    };
    EXPECT_EQ(word(3), c.depth);
    EXPECT_EQ(word(5), 1u);  // standard type
    const std::size_t entries = c.depth <= 8 ? std::size_t(1) << c.depth : 0;
    EXPECT_EQ(word(6), entries ? 1u : 0u);
    ASSERT_EQ(word(7), 3 * entries);
    ASSERT_EQ(file.size(), 32 + 3 * entries + word(4));
    for (std::size_t i = 0; i < entries; ++i) {
      const Rgb want = i < c.mapStart.size() ? c.mapStart[i] : Rgb{0, 0, 0};
      const Rgb got = {file[32 + i], file[32 + entries + i], file[32 + 2 * entries + i]};
      ASSERT_EQ(got, want) << "entry " << i;
    }
  }
}

// An image the format cannot hold is refused before a byte is written, with a clear error.
TEST_F(ExportImageTest, RefusedImages) {
  const auto sized = [](utl::ColorFormat format, int width, int height) {
    qxio::TrImage image;
    image.SetScanlineStart(width, height, format, 0, 0, nullptr, qxio::RowAccessByIndex, 0,
                           nullptr);
    return image;
  };
  struct {
    const char* name;
    qxio::TrImage image;
    utl::ErrorKind kind;
    std::wstring message;
  } cases[] = {
      {"no format, no pixels", qxio::TrImage(), utl::ErrorKind::Internal, L""},
      {"width 0", sized(utl::Gray8, 0, 5), utl::ErrorKind::Internal, L""},
      {"height 0", sized(utl::BGR24, 5, 0), utl::ErrorKind::Internal, L""},
      // 2^28 pixels at depth 8 take 2^31 bits per row.
      {"row too long", sized(utl::Gray4, 1 << 28, 1), utl::ErrorKind::General,
       L"Image of 268435456 x 1 pixels at 8 bits per pixel is too large for the Sun Raster "
       L"file format.  Can't export.\n"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring target = m_dir.Wide("refused.ras");
    SunExportFilter filter(m_manager);
    filter.BeginExport(target);
    try {
      filter.ExportObject(c.image);
      ADD_FAILURE() << "no error";
    } catch (const utl::IError& error) {
      EXPECT_EQ(error.Kind(), c.kind);
      EXPECT_EQ(error.Message(), c.message);
    }
    EXPECT_EQ(filter.EndExport(), qxio::ExportNothingExported);
    EXPECT_TRUE(m_dir.List().empty());
  }
}

}  // namespace
}  // namespace vemra
