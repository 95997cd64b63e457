// The PNM module's filters as any host may drive them: each file of tests/data/pnm reads as netpbm
// reads it; each image of tests/data/pnm/writes.txt becomes the file its row gives and comes
// back with its colours; the export's life cycle ends as the filter interface says, a file
// appearing only with an image in it. (Hostile files: hostile_test.cpp; against netpbm's own
// conversions: tests/interop/pnm_peers.py.)

#include <sstream>

#include "pnmexportfilter.h"
#include "pnmimportfilter.h"
#include "testsupport.h"

namespace vemra::test {
namespace {

#if defined(VEMRA_TEST_PNG) && !defined(_WIN32)
// Plain and raw, PBM, PGM and PPM, maxval 1 to 65535, with comments where whitespace may be;
// each beside netpbm's rendering of it (`pamdepth 255 FILE | pnmtopng`).
TEST(PnmFilters, EachFileReadsAsNetpbmReadsIt) {
  TestManager manager;
  pnmio::PnmImportFilter filter(manager);
  for (const fs::path& file : FilesIn(DataDir() / "pnm", {".pbm", ".pgm", ".ppm"})) {
    const Imported imported = Import(filter, manager, Wide(file));
    ASSERT_TRUE(imported.image) << file << ": " << imported.error->what();
    ExpectSameRgb(ImageRgb(*imported.image), LoadPng(fs::path(file).replace_extension(".png")));
  }
}
#endif

TEST(PnmFilters, EachImageBecomesItsFileAndComesBack) {
  TempDir dir;
  TestManager manager;
  pnmio::PnmExportFilter exporter(manager);
  pnmio::PnmImportFilter importer(manager);
  for (const auto& row : Table("pnm/writes.txt")) {
    SCOPED_TRACE(row[0] + "|" + row[2] + "|" + row[3]);
    const Bytes colours = FromHex(row[3]);
    RGBQUAD table[256] = {};
    for (std::size_t i = 0; i < colours.size() / 3; ++i) {
      table[i] = {colours[3 * i + 2], colours[3 * i + 1], colours[3 * i], 0};
    }
    std::string format;
    std::istringstream(row[0]) >> format;
    std::istringstream rows(row[2]);
    std::vector<Bytes> pixels;
    for (std::string word; rows >> word;) pixels.push_back(FromHex(word));
    qxio::TrImage image;
    image.SetScanlineStart(std::stoi(row[1]), int(pixels.size()), ColorFormatNamed(format), 0, 0,
                           table, qxio::RowAccessByIndex, unsigned(colours.size() / 3), nullptr);
    for (std::size_t y = 0; y < pixels.size(); ++y) image.SetScanline(pixels[y].data(), int(y));
    ASSERT_TRUE(Export(exporter, manager, image, dir.Wide("out.pnm")));
    Bytes file(row[5].begin(), row[5].end());
    for (const std::uint8_t byte : FromHex(row[4])) file.push_back(byte);
    EXPECT_EQ(ReadFile(dir / "out.pnm"), file);

    const Imported back = Import(importer, manager, dir.Wide("out.pnm"));
    ASSERT_TRUE(back.image);
    ExpectSameRgb(ImageRgb(*back.image), ImageRgb(image));
  }
}

TEST(PnmFilters, DescriptorsAndTheExportsLifeCycle) {
  TempDir dir;
  TestManager manager;
  pnmio::PnmExportFilter exporter(manager);
  pnmio::PnmImportFilter importer(manager);
  for (const auto& [filter, kind] :
       {std::pair<qxio::IoFilter*, int>{&importer, 1}, {&exporter, 2}}) {
    const qxio::FilterDescriptor& descriptor = *filter->GetFilterDescriptor();
    EXPECT_TRUE(std::string(descriptor.marker) == "$QXIO_FILT$" && descriptor.recordSize == 100 &&
                std::u16string(descriptor.moduleName) == u"pnm" && int(descriptor.kind) == kind);
  }
  const utl::CTypeInfo* images = qxio::TrImage::GetClassTypeId();
  const utl::CTypeInfo* requests = qxio::TrInitGraphicsExp::GetClassTypeId();
  EXPECT_TRUE(importer.SupportsType(images) && !importer.SupportsType(requests));
  EXPECT_TRUE(exporter.SupportsType(images) && exporter.SupportsType(requests));
  EXPECT_FALSE(exporter.SupportsType(nullptr));
  EXPECT_TRUE(Raised([&] { exporter.EndExport(); }));  // none begun
  qxio::TrImage image = TestImage(utl::BGR24, 5, 3);
  EXPECT_TRUE(Raised([&] { exporter.ExportObject(image); }));
  qxio::TrInitGraphicsExp request;
  request.m_filterParams[0] = request.m_filterParams[1] = 7;
  exporter.BeginExport(dir.Wide("none.pnm"));
  EXPECT_EQ(exporter.ExportObject(request), qxio::ExportDone);
  EXPECT_TRUE(request.m_filterFlag && request.m_filterParams[0] == 0 && !request.m_filterParams[1]);
  EXPECT_EQ(exporter.EndExport(), qxio::ExportNothingExported);
  EXPECT_TRUE(dir.List().empty()) << "nothing exported, nothing left";
  // netpbm reads no image of no rows or no columns: such an image leaves nothing of its file.
  for (const auto& [width, height] : {std::pair{4, 0}, std::pair{0, 4}}) {
    qxio::TrImage none;
    none.SetScanlineStart(width, height, utl::Gray8, 0, 0, nullptr, qxio::RowAccessByIndex, 0,
                          nullptr);
    exporter.BeginExport(dir.Wide("none.pnm"));
    EXPECT_TRUE(Raised([&] { exporter.ExportObject(none); }));
    EXPECT_TRUE(Raised([&] { exporter.EndExport(); })) << "the refusal ended the export";
  }
  EXPECT_TRUE(dir.List().empty());
  exporter.BeginExport(dir.Wide("out.pnm"));
  EXPECT_EQ(exporter.ExportObject(image), qxio::ExportDone);
  EXPECT_EQ(exporter.ExportObject(image), qxio::ExportNotTaken) << "one image a file";
  EXPECT_EQ(exporter.EndExport(), qxio::ExportDone);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"out.pnm"});
}

}  // namespace
}  // namespace vemra::test
