// The import filter driven as a host drives it, through a manager that records every call.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "rasterbytes.h"
#include "recordingmanager.h"
#include "sunimportfilter.h"
#include "testfiles.h"

namespace vemra::test {
namespace {

using Byte = std::uint8_t;

Bytes Prefix(Bytes bytes, std::size_t n) {
  bytes.resize(n);
  return bytes;
}

// A standard-type file of the given depth whose row r is filled with byte (r + 1).
Bytes RawImage(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
               std::uint32_t rowsPresent, std::uint32_t type = 1) {
  const std::uint32_t rowBytes = static_cast<std::uint32_t>(bytesPerRow(width, depth));
  HeaderFields h;
  h.width = width, h.height = height, h.depth = depth, h.type = type;
  Bytes file = HeaderBytes(h);
  for (std::uint32_t r = 0; r < rowsPresent; ++r) file.insert(file.end(), rowBytes, Byte(r + 1));
  return file;
}

class ImportTest : public ::testing::Test {
protected:
  std::wstring Put(const Bytes& bytes, const std::string& name = "image.ras") {
    return dir.Put(name, bytes);
  }
  // Imports and returns the raised error's kind, or nothing when the import succeeded.
  std::optional<utl::ErrorKind> Import(const std::wstring& path) {
    try {
      filter.ImportFromFile(path);
      return std::nullopt;
    } catch (const utl::IError& error) {
      return error.Kind();
    }
  }
  TempDir dir;
  RecordingManager manager;
  SunImportFilter filter{manager};
};

TEST_F(ImportTest, ProbeLooksOnlyAtTheMagicNumber) {
  struct Case {
    const char* why;
    Bytes bytes;
    bool recognised;
  } cases[] = {
      {"empty file", {}, false},
      {"three bytes of the magic number", {0x59, 0xA6, 0x6A}, false},
      {"the magic number alone", {0x59, 0xA6, 0x6A, 0x95}, true},
      {"magic number in the other byte order", {0x95, 0x6A, 0xA6, 0x59, 0, 0, 0, 0}, false},
      {"a PNG signature", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, false},
      {"a 16-bit header: the probe does not check the depth", HeaderBytes({0x59A66A95, 1, 1, 16}),
       true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(filter.CanImportFile(Put(c.bytes)), c.recognised) << c.why;
  }
  EXPECT_FALSE(filter.CanImportFile(dir.Wide("missing.ras")));
  EXPECT_FALSE(filter.CanImportFile(WidePath(dir.Path())));  // a folder
}

TEST_F(ImportTest, FileInformationHasFourEntriesOrNone) {
  HeaderFields h;
  h.width = 640, h.height = 480, h.depth = 8, h.maptype = 1, h.maplength = 768;
  Bytes file = HeaderBytes(h);
  file.resize(file.size() + 768);
  const auto info = filter.GetImportFileInfo(0, Put(file));
  ASSERT_EQ(info.m_entries.size(), 4u);
  EXPECT_EQ(boost::any_cast<std::wstring>(info.m_entries.at(L"File Format")), L"Sun Raster Image");
  EXPECT_EQ(boost::any_cast<int>(info.m_entries.at(L"Image Width")), 640);
  EXPECT_EQ(boost::any_cast<int>(info.m_entries.at(L"Image Height")), 480);
  EXPECT_EQ(boost::any_cast<int>(info.m_entries.at(L"Image Bits Per Pixel")), 8);

  struct Case {
    const char* why;
    Bytes bytes;
  } empty[] = {
      {"magic number only", {0x59, 0xA6, 0x6A, 0x95}},
      {"depth 16", HeaderBytes({0x59A66A95, 1, 1, 16})},
      {"colour map cut short", Bytes(HeaderBytes({0x59A66A95, 1, 1, 8, 0, 1, 1, 768}))},
      {"foreign file", Bytes(40, 0x20)},
  };
  for (const Case& c : empty) {
    EXPECT_TRUE(filter.GetImportFileInfo(0, Put(c.bytes)).m_entries.empty()) << c.why;
  }
  EXPECT_TRUE(filter.GetImportFileInfo(0, dir.Wide("missing.ras")).m_entries.empty());
}

TEST_F(ImportTest, ImportReportsProgressAndHandsOverOneImage) {
  const std::wstring path = Put(RawImage(3, 4, 8, 4), "four rows.ras");
  ASSERT_FALSE(Import(path));
  ASSERT_EQ(manager.m_images.size(), 1u);
  EXPECT_EQ(manager.m_proportions, (std::vector<double>{0, 0.25, 0.5, 0.75, 1.0}));
  ASSERT_EQ(manager.m_progressStarts.size(), 1u);
  EXPECT_EQ(manager.m_progressStarts[0].title, L"");
  EXPECT_TRUE(manager.m_progressStarts[0].cancellable && manager.m_progressStarts[0].showProportion);
  EXPECT_EQ(manager.m_messages, std::vector<std::wstring>{L"Importing SUN file four rows.ras"});
  EXPECT_EQ(manager.OpenProgress(), 0);

  const qxio::TrImage& image = *manager.m_images[0];
  EXPECT_EQ(image.GetWidth(), 3);
  EXPECT_EQ(image.GetHeight(), 4);
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(image.Row(r)[0], r + 1);
    EXPECT_EQ(image.Row(r)[2], r + 1);
  }
}

TEST_F(ImportTest, ColourFormatAndTableSizeFollowTheDepth) {
  struct Case {
    std::uint32_t depth;
    utl::ColorFormat format;
    unsigned entries;
  } cases[] = {{1, utl::Indexed1, 2},
               {4, utl::Indexed4, 16},
               {8, utl::Indexed8, 256},
               {24, utl::BGR24, 0},
               {32, utl::BGRA32, 0}};
  for (const Case& c : cases) {
    manager.Clear();
    ASSERT_FALSE(Import(Put(RawImage(5, 2, c.depth, 2)))) << c.depth;
    ASSERT_EQ(manager.m_images.size(), 1u);
    EXPECT_EQ(manager.m_images[0]->GetColorFormat(), c.format) << c.depth;
    EXPECT_EQ(manager.m_images[0]->GetNumColorTableEntriesUsed(), c.entries) << c.depth;
  }
  // Bilevel files without a map read bit 1 as black.
  manager.Clear();
  ASSERT_FALSE(Import(Put(RawImage(5, 1, 1, 1))));
  RGBQUAD table[2];
  manager.m_images[0]->GetColorTable(table, 0, 2);
  EXPECT_EQ(table[0].rgbRed, 255);
  EXPECT_EQ(table[1].rgbRed, 0);
}

// A file whose data ends early still gives an image when more than half of its rows arrived.
TEST_F(ImportTest, HalfOfTheRowsDecidesBetweenWarningAndError) {
  struct Case {
    std::uint32_t height, rowsPresent;
    bool imported;
  } cases[] = {{10, 5, false}, {10, 6, true}, {3, 1, false}, {3, 2, true}, {1, 0, false}};
  for (const Case& c : cases) {
    manager.Clear();
    const std::wstring path = Put(RawImage(4, c.height, 8, c.rowsPresent));
    const auto error = Import(path);
    if (c.imported) {
      ASSERT_FALSE(error) << c.height << "/" << c.rowsPresent;
      ASSERT_EQ(manager.m_warnings.size(), 1u);
      EXPECT_EQ(manager.m_warnings[0].style, 0);
      EXPECT_EQ(manager.m_warnings[0].message,
                path + L":  Premature end of scanline data.  Import may finish but image will be "
                       L"incomplete.");
      const qxio::TrImage& image = *manager.m_images.at(0);
      EXPECT_EQ(image.Row(int(c.rowsPresent) - 1)[0], c.rowsPresent);
      EXPECT_EQ(image.Row(int(c.rowsPresent))[0], 0) << "rows never set read as zeros";
      EXPECT_EQ(manager.m_proportions.back(), 1.0);
    } else {
      EXPECT_EQ(error, utl::ErrorKind::UnexpectedEof) << c.height << "/" << c.rowsPresent;
      EXPECT_TRUE(manager.m_images.empty());
      EXPECT_TRUE(manager.m_warnings.empty());
    }
  }
}

TEST_F(ImportTest, RowsThatEndInsideARowCountOnlyWhenComplete) {
  Bytes file = RawImage(4, 4, 8, 2);
  file.push_back(0x33);  // the third row begins but never ends
  EXPECT_EQ(Import(Put(file)), utl::ErrorKind::UnexpectedEof);
  file.insert(file.end(), 3, 0x33);  // three complete rows of four
  EXPECT_FALSE(Import(Put(file)));
}

TEST_F(ImportTest, HeaderStatusesBecomeErrorsBeforeProgressStarts) {
  struct Case {
    const char* why;
    Bytes bytes;
    utl::ErrorKind kind;
  } cases[] = {
      {"31 bytes", Prefix(HeaderBytes({}), 31),
       utl::ErrorKind::FileRead},
      {"colour map cut short", HeaderBytes({0x59A66A95, 1, 1, 8, 0, 1, 1, 768}),
       utl::ErrorKind::FileRead},
      {"wrong magic number", HeaderBytes({0x956AA659}), utl::ErrorKind::UnknownFormat},
      {"depth 16", HeaderBytes({0x59A66A95, 1, 1, 16}), utl::ErrorKind::UnknownFormat},
      {"type 4", HeaderBytes({0x59A66A95, 1, 1, 8, 0, 4}), utl::ErrorKind::UnknownFormat},
      {"map type 2", HeaderBytes({0x59A66A95, 1, 1, 8, 0, 1, 2}), utl::ErrorKind::UnknownFormat},
      {"width 0", HeaderBytes({0x59A66A95, 0, 1, 8}), utl::ErrorKind::UnknownFormat},
      {"image size beyond the 32-bit length field", HeaderBytes({0x59A66A95, 65535, 65535, 32}),
       utl::ErrorKind::UnknownFormat},
  };
  for (const Case& c : cases) {
    manager.Clear();
    const std::wstring path = Put(c.bytes);
    EXPECT_EQ(Import(path), c.kind) << c.why;
    ASSERT_EQ(manager.m_errors.size(), 1u) << c.why;
    EXPECT_EQ(manager.m_errors[0].path, path) << c.why;
    if (c.kind == utl::ErrorKind::FileRead) {
      EXPECT_EQ(manager.m_errors[0].message, L"Not a valid Sun Raster file.");
    }
    EXPECT_TRUE(manager.m_progressStarts.empty()) << c.why;
  }
  EXPECT_EQ(Import(dir.Wide("missing.ras")), utl::ErrorKind::FileOpen);
}

// A tiny file that claims a huge image is refused before the image is allocated.
TEST_F(ImportTest, ImpossibleSizesAreRefusedBeforeAllocating) {
  for (std::uint32_t type : {1u, 2u}) {
    manager.Clear();
    EXPECT_EQ(Import(Put(HeaderBytes({0x59A66A95, 30000, 30000, 32, 0, type}))),
              utl::ErrorKind::UnexpectedEof)
        << "type " << type;
    EXPECT_TRUE(manager.m_progressStarts.empty()) << "no progress, no image, no row buffer";
  }
}

// Run-length data is weighed at its largest expansion: 3 bytes may stand for 256.
TEST_F(ImportTest, EncodedDataIsWeighedAtItsLargestExpansion) {
  HeaderFields h;
  h.width = 256, h.height = 12, h.depth = 8, h.type = 2;
  Bytes file = HeaderBytes(h);
  for (int r = 0; r < 12; ++r) Append(file, {0x80, 0xFF, r});  // every row one run of 256
  ASSERT_FALSE(Import(Put(file)));
  EXPECT_EQ(manager.m_images.at(0)->Row(11)[255], 11);

  // 7 rows of 256 need 1792 decoded bytes, which at least 21 encoded bytes can give.
  Bytes twentyOne = HeaderBytes(h);
  twentyOne.insert(twentyOne.end(), 21, 0x41);
  Bytes twenty(twentyOne.begin(), twentyOne.end() - 1);
  manager.Clear();
  EXPECT_EQ(Import(Put(twenty)), utl::ErrorKind::UnexpectedEof);
  EXPECT_TRUE(manager.m_progressStarts.empty()) << "refused before the image was allocated";
  manager.Clear();
  EXPECT_EQ(Import(Put(twentyOne)), utl::ErrorKind::UnexpectedEof);
  EXPECT_EQ(manager.m_progressStarts.size(), 1u) << "weighed as possible, failed on the rows";
}

TEST_F(ImportTest, ManagerPixelLimitRefusesLargeImages) {
  manager.SetMaxPixels(99);
  EXPECT_EQ(Import(Put(RawImage(10, 10, 8, 10))), utl::ErrorKind::ImageTooLarge);
  manager.SetMaxPixels(100);
  EXPECT_FALSE(Import(Put(RawImage(10, 10, 8, 10))));
}

TEST_F(ImportTest, ImageWithoutRowsIsHandedOver) {
  ASSERT_FALSE(Import(Put(RawImage(7, 0, 24, 0))));
  ASSERT_EQ(manager.m_images.size(), 1u);
  EXPECT_EQ(manager.m_images[0]->GetHeight(), 0);
  EXPECT_EQ(manager.m_proportions, std::vector<double>{1.0});
}

#if defined(__linux__)
int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// After an error the import file stays open; the probe and file information work on files of
// their own, and the next import closes it first.
TEST_F(ImportTest, FileLeftOpenByAnErrorIsClosedByTheNextImport) {
  const std::wstring good = Put(RawImage(2, 2, 8, 2), "good.ras");
  const std::wstring bad = Put(RawImage(2, 10, 8, 2), "bad.ras");
  const int before = OpenDescriptors();
  ASSERT_EQ(Import(bad), utl::ErrorKind::UnexpectedEof);
  EXPECT_EQ(OpenDescriptors(), before + 1);
  EXPECT_TRUE(filter.CanImportFile(good));
  EXPECT_EQ(filter.GetImportFileInfo(0, good).m_entries.size(), 4u);
  EXPECT_EQ(OpenDescriptors(), before + 1);
  ASSERT_FALSE(Import(good));
  EXPECT_EQ(OpenDescriptors(), before);
}
#endif

}  // namespace
}  // namespace vemra::test
