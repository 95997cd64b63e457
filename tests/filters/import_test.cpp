// The import filter driven as a host drives it, through a manager that records every call.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "rasterbytes.h"
#include "recordingmanager.h"
#include "sunimportfilter.h"
#include "testfiles.h"

namespace vemra::test {
namespace {

// A file of the given depth and type whose row r is filled with byte (r + 1).
Bytes RawImage(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
               std::uint32_t rowsPresent, std::uint32_t type = 1) {
  Bytes file = HeaderBytes({0x59A66A95, width, height, depth, 0, type});
  for (std::uint32_t r = 0; r < rowsPresent; ++r) {
    file.insert(file.end(), static_cast<std::size_t>(bytesPerRow(width, depth)),
                std::uint8_t(r + 1));
  }
  return file;
}

class ImportTest : public ::testing::Test {
protected:
  // Each file gets a name of its own: on Windows a file left open by a failed import cannot
  // be rewritten until the next import closes it.
  std::wstring Put(const Bytes& bytes, const std::string& name = "") {
    return dir.Put(name.empty() ? "image" + std::to_string(files++) + ".ras" : name, bytes);
  }
  // Imports into a cleared manager; the raised error's kind, or nothing on success.
  std::optional<utl::ErrorKind> Import(const std::wstring& path) {
    manager.Clear();
    try {
      filter.ImportFromFile(path);
      return std::nullopt;
    } catch (const utl::IError& error) {
      return error.Kind();
    }
  }
  TempDir dir;
  int files = 0;
  RecordingManager manager;
  SunImportFilter filter{manager};
};

// The probe looks only at the magic number; file information needs a whole header.
TEST_F(ImportTest, ProbeAndFileInformation) {
  Bytes good = HeaderBytes({0x59A66A95, 640, 480, 8, 0, 1, 1, 768});
  good.resize(good.size() + 768);
  const struct {
    const char* why;
    Bytes bytes;
    bool recognised, described;
  } cases[] = {
      {"good file", good, true, true},
      {"empty file", {}, false, false},
      {"three bytes of the magic number", {0x59, 0xA6, 0x6A}, false, false},
      {"the magic number alone", {0x59, 0xA6, 0x6A, 0x95}, true, false},
      {"depth 16", HeaderBytes({0x59A66A95, 1, 1, 16}), true, false},
      {"colour map cut short", HeaderBytes({0x59A66A95, 1, 1, 8, 0, 1, 1, 768}), true, false},
      {"foreign file", Bytes(40, 0x20), false, false},
  };
  for (const auto& c : cases) {
    const std::wstring path = Put(c.bytes);
    EXPECT_EQ(filter.CanImportFile(path), c.recognised) << c.why;
    EXPECT_EQ(filter.GetImportFileInfo(0, path).m_entries.size(), c.described ? 4u : 0u) << c.why;
  }
  const auto info = filter.GetImportFileInfo(0, Put(good));
  EXPECT_EQ(boost::any_cast<std::wstring>(info.m_entries.at(L"File Format")), L"Sun Raster Image");
  EXPECT_EQ(boost::any_cast<int>(info.m_entries.at(L"Image Width")), 640);
  EXPECT_EQ(boost::any_cast<int>(info.m_entries.at(L"Image Height")), 480);
  EXPECT_EQ(boost::any_cast<int>(info.m_entries.at(L"Image Bits Per Pixel")), 8);
  EXPECT_FALSE(filter.CanImportFile(dir.Wide("missing.ras")));
  EXPECT_FALSE(filter.CanImportFile(WidePath(dir.Path())));  // a folder
  EXPECT_TRUE(filter.GetImportFileInfo(0, dir.Wide("missing.ras")).m_entries.empty());
}

TEST_F(ImportTest, ProgressAndTheImageHandedOver) {
  ASSERT_FALSE(Import(Put(RawImage(3, 4, 8, 4), "four rows.ras")));
  ASSERT_EQ(manager.m_images.size(), 1u);
  EXPECT_EQ(manager.m_proportions, (std::vector<double>{0, 0.25, 0.5, 0.75, 1.0}));
  ASSERT_EQ(manager.m_progressStarts.size(), 1u);
  EXPECT_EQ(manager.m_messages, std::vector<std::wstring>{L"Importing SUN file four rows.ras"});
  EXPECT_EQ(manager.OpenProgress(), 0);
  const qxio::TrImage& image = *manager.m_images[0];
  EXPECT_EQ(image.GetWidth(), 3);
  EXPECT_EQ(image.GetHeight(), 4);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(image.Row(r)[2], r + 1);

  ASSERT_FALSE(Import(Put(RawImage(7, 0, 24, 0))));  // no rows: still an image
  EXPECT_EQ(manager.m_images.at(0)->GetHeight(), 0);
  EXPECT_EQ(manager.m_proportions, std::vector<double>{1.0});
}

TEST_F(ImportTest, ColourFormatAndTableSizeFollowTheDepth) {
  const struct {
    std::uint32_t depth;
    utl::ColorFormat format;
    unsigned entries;
  } cases[] = {{1, utl::Indexed1, 2},
               {4, utl::Indexed4, 16},
               {8, utl::Indexed8, 256},
               {24, utl::BGR24, 0},
               {32, utl::BGRA32, 0}};
  for (const auto& c : cases) {
    ASSERT_FALSE(Import(Put(RawImage(5, 2, c.depth, 2)))) << c.depth;
    EXPECT_EQ(manager.m_images.at(0)->GetColorFormat(), c.format) << c.depth;
    EXPECT_EQ(manager.m_images[0]->GetNumColorTableEntriesUsed(), c.entries) << c.depth;
  }
  ASSERT_FALSE(Import(Put(RawImage(5, 1, 1, 1))));  // without a map, bit 1 is black
  RGBQUAD table[2];
  manager.m_images.at(0)->GetColorTable(table, 0, 2);
  EXPECT_EQ(table[0].rgbRed, 255);
  EXPECT_EQ(table[1].rgbRed, 0);
}

// Data that ends early still gives an image when more than half of the rows arrived; a row
// counts only when complete. Raw data is refused before the image is allocated (no progress);
// run-length data, weighed at its largest expansion (3 bytes for 256), may only fail on the rows.
TEST_F(ImportTest, HalfOfTheRowsDecidesBetweenWarningAndError) {
  const auto runs = [](int rows, std::initializer_list<int> tail) {
    Bytes file = HeaderBytes({0x59A66A95, 256, 12, 8, 0, 2});
    for (int r = 0; r < rows; ++r) Append(file, {0x80, 0xFF, r + 1});  // a row of 256
    Append(file, tail);
    return file;
  };
  Bytes partRow = RawImage(4, 4, 8, 2);
  Append(partRow, {0x33, 0x33, 0x33});
  const struct {
    const char* why;
    Bytes file;
    int rowsPresent;
    bool imported, progress;
  } cases[] = {
      {"5 of 10", RawImage(4, 10, 8, 5), 5, false, false},
      {"6 of 10", RawImage(4, 10, 8, 6), 6, true, true},
      {"1 of 3", RawImage(4, 3, 8, 1), 1, false, false},
      {"2 of 3", RawImage(4, 3, 8, 2), 2, true, true},
      {"0 of 1", RawImage(4, 1, 8, 0), 0, false, false},
      {"2 and a part of 4", partRow, 2, false, false},
      {"encoded, 6 of 12 in 20 bytes", runs(6, {1, 1}), 6, false, false},
      {"encoded, 6 and 255 bytes of 12", runs(6, {0x80, 0xFE, 9}), 6, false, true},
      {"encoded, 7 of 12", runs(7, {}), 7, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::wstring path = Put(c.file);
    const auto error = Import(path);
    EXPECT_EQ(manager.m_progressStarts.size(), c.progress ? 1u : 0u);
    if (!c.imported) {
      EXPECT_EQ(error, utl::ErrorKind::UnexpectedEof);
      EXPECT_TRUE(manager.m_images.empty());
      EXPECT_TRUE(manager.m_warnings.empty());
      continue;
    }
    ASSERT_FALSE(error);
    ASSERT_EQ(manager.m_warnings.size(), 1u);
    EXPECT_EQ(manager.m_warnings[0].message,
              path +
                  L":  Premature end of scanline data.  Import may finish but image will be "
                  L"incomplete.");
    const qxio::TrImage& image = *manager.m_images.at(0);
    EXPECT_EQ(image.Row(c.rowsPresent - 1)[0], c.rowsPresent);
    EXPECT_EQ(image.Row(c.rowsPresent)[0], 0) << "rows never set read as zeros";
    EXPECT_EQ(manager.m_proportions.back(), 1.0);
  }
}

TEST_F(ImportTest, HeaderStatusesBecomeErrorsBeforeProgressStarts) {
  Bytes short31 = HeaderBytes({});
  short31.pop_back();
  const struct {
    const char* why;
    Bytes bytes;
    utl::ErrorKind kind;
  } cases[] = {
      {"31 bytes", short31, utl::ErrorKind::FileRead},
      {"colour map cut short", HeaderBytes({0x59A66A95, 1, 1, 8, 0, 1, 1, 768}),
       utl::ErrorKind::FileRead},
      {"wrong magic number", HeaderBytes({0x956AA659}), utl::ErrorKind::UnknownFormat},
      {"depth 16", HeaderBytes({0x59A66A95, 1, 1, 16}), utl::ErrorKind::UnknownFormat},
      {"type 4", HeaderBytes({0x59A66A95, 1, 1, 8, 0, 4}), utl::ErrorKind::UnknownFormat},
      {"map type 2", HeaderBytes({0x59A66A95, 1, 1, 8, 0, 1, 2}), utl::ErrorKind::UnknownFormat},
      {"width 0", HeaderBytes({0x59A66A95, 0, 1, 8}), utl::ErrorKind::UnknownFormat},
      {"beyond the 32-bit length field", HeaderBytes({0x59A66A95, 65535, 65535, 32}),
       utl::ErrorKind::UnknownFormat},
  };
  for (const auto& c : cases) {
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

// A tiny file that claims a huge image is refused before the image is allocated; an image over
// the manager's pixel limit is refused.
TEST_F(ImportTest, ImpossibleAndTooLargeSizesAreRefused) {
  for (std::uint32_t type : {1u, 2u}) {
    EXPECT_EQ(Import(Put(HeaderBytes({0x59A66A95, 30000, 30000, 32, 0, type}))),
              utl::ErrorKind::UnexpectedEof);
    EXPECT_TRUE(manager.m_progressStarts.empty()) << "type " << type;
  }
  manager.SetMaxPixels(99);
  EXPECT_EQ(Import(Put(RawImage(10, 10, 8, 10))), utl::ErrorKind::ImageTooLarge);
  manager.SetMaxPixels(100);
  EXPECT_FALSE(Import(Put(RawImage(10, 10, 8, 10))));
}

#if defined(__linux__)
int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// After an error the import file stays open; the probe and file information use files of
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
