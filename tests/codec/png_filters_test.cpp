// The PNG module's filters as any host may drive them: an image of every host colour format goes
// out and comes back with its colours. (The export's life cycle, shared with PNM's: host_test.cpp;
// tests/data/cli/cases.txt has an image of no rows, refused.)

#include <cstdlib>
#include <random>

#include "pngexportfilter.h"
#include "pngformat.h"
#include "pngimportfilter.h"
#include "testsupport.h"

namespace vemra::test {
namespace {

#if !defined(_WIN32)  // the Windows Imaging Component, which writes PNG there, has no levels
// A gradient under grain: of its own in each channel, as in photographs, or of levels 0 to 6
// shared by the channels.
qxio::TrImage Grain(int width, int height, bool shared) {
  std::mt19937 random(5);
  qxio::TrImage image;
  image.SetScanlineStart(width, height, utl::BGR24, 0, 0, nullptr, qxio::RowAccessByIndex, 0,
                         nullptr);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int grain = int(random() % 7);
      for (int c = 0; c < 3; ++c) {
        const int noise = shared ? grain : int(random() % 9 + random() % 9) / 2;
        image.MutableRow(y)[3 * x + 2 - c] =
            std::uint8_t(std::min(255, (x * (c + 1) + y * (3 - c)) / 8 + noise));
      }
    }
  }
  return image;
}

// Rows in threes that each filter type suits differently: a ramp of random slope (Sub), noise, the
// noise again give or take one (Up).
qxio::TrImage RowsOfEachFilter(int width, int height) {
  std::mt19937 random(9);
  qxio::TrImage image = Grain(width, height, false);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = image.MutableRow(y);
    const int slope = int(random() % 5) + 1;
    for (int i = 0; i < 3 * width; ++i) {
      row[i] = std::uint8_t(y % 3 == 0   ? i * slope
                            : y % 3 == 1 ? random()
                                         : row[i - 3 * width] + random() % 3 - 1);
    }
  }
  return image;
}
#endif

// One manager and the PNG filters, which images go through out.png.
class PngFilters : public ::testing::Test {
protected:
  Imported Back(qxio::TrImage& image) {
    EXPECT_TRUE(Export(exporter, manager, image, dir.Wide("out.png")));
    return Import(importer, manager, dir.Wide("out.png"));
  }
  void ExpectComesBack(qxio::TrImage& image) {
    const Imported back = Back(image);
    ASSERT_TRUE(back.image);
    ExpectSameRgb(ImageRgb(*back.image), ImageRgb(image));
  }

  TempDir dir;
  TestManager manager;
  pngio::PngExportFilter exporter{manager};
  pngio::PngImportFilter importer{manager};
};

TEST_F(PngFilters, EveryHostFormatComesBack) {
  EXPECT_TRUE(Describes(importer, u"png", qxio::FilterKindImport) &&
              Describes(exporter, u"png", qxio::FilterKindExport) &&
              !importer.CanImportFile(dir.Wide("missing.png")));
  for (int format = 1; format < utl::kColorFormatCount; ++format) {
    SCOPED_TRACE("format " + std::to_string(format));
    qxio::TrImage image = TestImage(utl::ColorFormat(format), 19, 3);
    const Imported back = Back(image);
    ASSERT_TRUE(back.image) << back.error->what();
    const Rgb got = ImageRgb(*back.image), want = ImageRgb(image);
    // Gray16 is written at 16 bits where the encoder takes them, read back rounded to 8 with a
    // warning, where the host's converter takes the high byte: a level apart at most.
    const bool sixteen = format == utl::Gray16;
    EXPECT_EQ(back.warnings, sixteen && pngio::kEncodesSixteenBits ? 1 : 0);
    ASSERT_TRUE(got.width == want.width && got.pixels.size() == want.pixels.size());
    for (std::size_t i = 0; i < got.pixels.size(); ++i) {
      ASSERT_LE(std::abs(got.pixels[i] - want.pixels[i]), sixteen ? 1 : 0) << "byte " << i;
    }
  }
  // The entries that the pixels name decide the kind: grey where all name a black first entry.
  qxio::TrImage firstOnly = TestImage(utl::Indexed8, 3, 1);
  const RGBQUAD blackThenRed[2] = {{0, 0, 0, 0}, {0, 0, 255, 0}};
  firstOnly.SetScanlineEnd(blackThenRed, 2);
  firstOnly.SetScanline(Bytes(3).data(), 0);
  ExpectComesBack(firstOnly);
  EXPECT_EQ(ReadFile(dir / "out.png").at(25), 0) << "the colour type";
  // A row longer than one compressed strip holds (1 MiB) goes out whole.
  qxio::TrImage wide = TestImage(utl::BGR24, 400000, 2);
  ExpectComesBack(wide);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"out.png"});
}

#if !defined(_WIN32)
// Pictures no larger than 1.05 times libpng's PNG at its defaults: a gradient under grain of its
// own in each channel, as in photographs (0); under grain of few levels, the same in all channels,
// whose rows only zlib's matches make small, under filters of one kind (1); rows that each want
// their own filter (2). A strip after the first is deflated against the window of rows before
// it, filtered as the strip before wrote them: pictures of several strips come back too.
TEST_F(PngFilters, PicturesOfGrainAsSmallAsLibpngs) {
  for (const int picture : {0, 1, 2}) {
    qxio::TrImage image = picture < 2 ? Grain(512, 512, picture) : RowsOfEachFilter(512, 512);
    ExpectComesBack(image);
    EXPECT_LE(double(fs::file_size(dir / "out.png")),
              1.05 * double(LibpngFileSize(ImageRgb(image))))
        << "picture " << picture;
  }
  for (const bool shared : {false, true}) {
    qxio::TrImage image = Grain(700, 1024, shared);
    ExpectComesBack(image);
  }
}
#endif

}  // namespace
}  // namespace vemra::test
