// The PNM module's filters as any host may drive them: each file of tests/data/pnm reads as netpbm
// reads it; each image of tests/data/pnm/writes.txt becomes the file its row gives and comes
// back with its colours. (Hostile files: hostile_test.cpp; the export's life cycle, shared with
// PNG's: host_test.cpp.)

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
    EXPECT_EQ(imported.image->GetNumColorTableEntriesUsed(), 0u) << "grey or colour: no table";
    ExpectSameRgb(ImageRgb(*imported.image), LoadPng(fs::path(file).replace_extension(".png")));
  }
}
#endif

TEST(PnmFilters, EachImageBecomesItsFileAndComesBack) {
  TempDir dir;
  TestManager manager;
  pnmio::PnmExportFilter exporter(manager);
  pnmio::PnmImportFilter importer(manager);
  EXPECT_TRUE(Describes(importer, u"pnm", qxio::FilterKindImport) &&
              Describes(exporter, u"pnm", qxio::FilterKindExport));
  EXPECT_TRUE(importer.SupportsType(qxio::TrImage::GetClassTypeId()) &&
              !importer.SupportsType(qxio::TrInitGraphicsExp::GetClassTypeId()));
  for (const auto& row : Table("pnm/writes.txt")) {
    SCOPED_TRACE(row[0] + "|" + row[2] + "|" + row[3]);
    const Bytes colours = FromHex(row[3]);
    RGBQUAD table[256] = {};
    for (std::size_t i = 0; i < colours.size() / 3; ++i) {
      table[i] = {colours[3 * i + 2], colours[3 * i + 1], colours[3 * i], 0};
    }
    std::istringstream rows(row[2]);
    std::vector<Bytes> pixels;
    for (std::string word; rows >> word;) pixels.push_back(FromHex(word));
    qxio::TrImage image;
    image.SetScanlineStart(std::stoi(row[1]), int(pixels.size()), ColorFormatNamed(row[0]), 0, 0,
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

}  // namespace
}  // namespace vemra::test
