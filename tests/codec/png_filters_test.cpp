// The PNG module's filters as any host may drive them: an image of every host colour format goes
// out and comes back with its colours, and the export's life cycle ends as the filter interface
// says, a file appearing only with an image in it.

#include <cstdlib>

#include "pngexportfilter.h"
#include "pngimportfilter.h"
#include "testsupport.h"

namespace vemra::test {
namespace {

Imported ExportAndImport(qxio::TrImage& image, const fs::path& file) {
  TestManager manager;
  pngio::PngExportFilter exporter(manager);
  exporter.BeginExport(Wide(file));
  EXPECT_EQ(exporter.ExportObject(image), qxio::ExportDone);
  EXPECT_EQ(exporter.EndExport(), qxio::ExportDone);
  pngio::PngImportFilter importer(manager);
  return Import(importer, manager, Wide(file));
}

TEST(PngFilters, EveryHostFormatComesBackWithItsColours) {
  TempDir dir;
  for (int format = 1; format < utl::kColorFormatCount; ++format) {
    SCOPED_TRACE("format " + std::to_string(format));
    qxio::TrImage image = TestImage(utl::ColorFormat(format), 19, 3);
    const Imported back = ExportAndImport(image, dir / "out.png");
    ASSERT_TRUE(back.image) << back.error->what();
    const Rgb got = ImageRgb(*back.image), want = ImageRgb(image);
    if (format != utl::Gray16) {
      EXPECT_EQ(back.warnings, 0);
      ExpectSameRgb(got, want);
      continue;
    }
    // Written at 16 bits, read back rounded to 8 with a warning, where the host's converter
    // takes the high byte: a level apart at most.
    EXPECT_EQ(back.warnings, 1);
    ASSERT_EQ(got.pixels.size(), want.pixels.size());
    for (std::size_t i = 0; i < got.pixels.size(); ++i) {
      EXPECT_LE(std::abs(got.pixels[i] - want.pixels[i]), 1) << "byte " << i;
    }
  }
}

TEST(PngFilters, AFileOnlyWithAnImage) {
  TempDir dir;
  TestManager manager;
  pngio::PngExportFilter filter(manager);
  EXPECT_TRUE(Raised([&] { filter.EndExport(); }));  // none begun
  qxio::TrInitGraphicsExp request;
  request.m_filterParams[0] = request.m_filterParams[1] = 7;
  filter.BeginExport(dir.Wide("none.png"));
  EXPECT_EQ(filter.ExportObject(request), qxio::ExportDone);
  EXPECT_TRUE(request.m_filterFlag && request.m_filterParams[0] == 0 && !request.m_filterParams[1]);
  EXPECT_EQ(filter.EndExport(), qxio::ExportNothingExported);
  qxio::TrImage empty = TestImage(utl::BGR24, 4, 0), image = TestImage(utl::BGR24, 4, 2);
  filter.BeginExport(dir.Wide("empty.png"));
  const auto refusal = Raised([&] { filter.ExportObject(empty); });
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->Message(), L"PNG cannot hold an image of no rows");
  EXPECT_TRUE(dir.List().empty()) << "a refused image leaves no file";
  filter.BeginExport(dir.Wide("one.png"));
  EXPECT_EQ(filter.ExportObject(image), qxio::ExportDone);
  EXPECT_EQ(filter.ExportObject(image), qxio::ExportNotTaken) << "one image a file";
  EXPECT_EQ(filter.EndExport(), qxio::ExportDone);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"one.png"});
}

}  // namespace
}  // namespace vemra::test
