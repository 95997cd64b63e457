// Writing: every host colour format exported and imported back over a sweep of sizes; the
// writer's statuses; the export filter's transfers; and writes failing at the places that
// matter. A failed or abandoned export keeps the old file as it was and leaves no other.
// (tests/data/cli/cases.txt has the system refusing writes, and a target that cannot be replaced.)
#include <cerrno>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "faultyfiles.h"
#include "sunexportfilter.h"
#include "sunrasterwriter.h"
#include "testsupport.h"
#include "utl/bufferedfile.h"
#include "utl/error.h"
#include "utl/text.h"

namespace vemra::test {
namespace {

// Each comes back with its colours, standard and run-length encoded; the header's length field is
// the size of the pixel data. Black-and-white 1-bit images (Gray1, and Indexed1 tables of black and
// white, the two formats after the host's) have no map, but a table of two whites keeps its own
// (the last); an 8-bit table of five has the rest of its map black. The largest size outgrows the
// file's buffer before its run-length header is put in place. (The bytes, BGRA32's fourth included,
// and every header field: the read tests' files written back, the round-trip fuzz target.)
TEST(Write, EveryHostFormatAtTheWidthsWherePaddingAndPackingGoWrong) {
  TempDir dir;
  std::vector<std::pair<int, int>> sizes = {{1000, 90}};
  for (int height : {1, 3}) {
    for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 113, 163}) sizes.emplace_back(width, height);
  }
  for (int f = 1; f < utl::kColorFormatCount + 4; ++f) {
    for (const std::wstring options : {L"", L"Compression=RLE"}) {
      for (const auto& [width, height] : sizes) {
        SCOPED_TRACE("format " + std::to_string(f) + ", " + std::to_string(width) + " x " +
                     std::to_string(height) + (options.empty() ? "" : ", run-length"));
        const int table = f - utl::kColorFormatCount;  // Indexed1 of bw + table, but 2
        const bool fiveColours = table == 2, noMap = f == utl::Gray1 || table == 0 || table == 1;
        const RGBQUAD w = {255, 255, 255, 0}, bw[5] = {w, {0, 0, 0, 0}, w, w, w};
        qxio::TrImage image = TestImage(f < utl::kColorFormatCount ? utl::ColorFormat(f)
                                        : fiveColours              ? utl::Indexed8
                                                                   : utl::Indexed1,
                                        width, height);
        RGBQUAD five[5];  // an 8-bit table of five: the map's other entries are black
        image.GetColorTable(five, 0, 5);
        if (fiveColours) image.SetScanlineEnd(five, 5);
        if (f == utl::Gray1 || (table >= 0 && !fiveColours)) {
          image.SetScanlineEnd(bw + std::max(table, 0), 2);  // Gray1's white and black, ignored
        }
        ASSERT_TRUE(Export(image, dir.Wide("out.ras"), options));
        const Imported back = Import(dir / "out.ras");
        ASSERT_TRUE(back.image);
        ExpectSameRgb(ImageRgb(*back.image), ImageRgb(image));
        const Bytes file = ReadFile(dir / "out.ras");
        EXPECT_EQ(Be32(file, 16), file.size() - 32 - Be32(file, 28));
        EXPECT_EQ(noMap ? Be32(file, 24) : 0u, 0u) << "no colour map";
      }
    }
  }
}

// An image of no columns, or of rows too long, is refused with words that give its size, not as
// an internal error, and leaves no file; the option string takes items separated by ';' in any
// letter case, and refuses anything unknown, changing nothing. (tests/data/cli/cases.txt has
// images of no rows.)
TEST(Write, NoColumnsAndOptionStrings) {
  TempDir dir;
  TestManager manager;
  SunExportFilter filter(manager);
  qxio::TrImage columnless;
  columnless.SetScanlineStart(0, 2, utl::BGR24, 0, 0, nullptr, qxio::RowAccessByIndex, 0, nullptr);
  qxio::TrImage tooWide;  // no rows, so no memory, but rows too long for the format
  tooWide.SetScanlineStart(1 << 28, 0, utl::Indexed8, 0, 0, nullptr, qxio::RowAccessByIndex, 0,
                           nullptr);
  filter.BeginExport(dir.Wide("none.ras"));
  EXPECT_EQ(Raised([&] { filter.ExportObject(columnless); }).value().Sentence(),
            L"Image of 0 x 2 pixels has no columns, which the Sun Raster file format cannot hold.  "
            L"Can't export.");
  EXPECT_EQ(Raised([&] { filter.ExportObject(tooWide); }).value().Sentence(),
            L"Image of 268435456 x 0 pixels at 8 bits per pixel is too large for the Sun Raster "
            L"file format.  Can't export.");
  EXPECT_EQ(filter.EndExport(), qxio::ExportNothingExported);
  EXPECT_TRUE(dir.List().empty());
  for (const auto& row : Table("write/options.txt")) {
    const std::wstring before = filter.GetOptionsInStringForm();
    EXPECT_EQ(filter.SetOptionsFromString(utl::FromUtf8(row[0])), row[1] != "refused") << row[0];
    EXPECT_EQ(filter.GetOptionsInStringForm(),
              row[1] == "refused" ? before : utl::FromUtf8(row[1]));
  }
}

// The headers of tests/data/write/headers.txt; no row after Reset; without a palette, a grey map;
// a header the file refuses fails; each status has words of its own.
TEST(Write, WriterStatusesAndTheGreyMapWithoutAPalette) {
  TempDir dir;
  const std::uint8_t row[8] = {};
  for (const auto& header : Table("write/headers.txt")) {
    utl::CBufferedFile file;
    file.Open(dir.Wide("out.ras"), "wb", utl::ShareNone, false);
    SunRasterWriter writer;
    EXPECT_EQ(writer.WriteHeader(&file, std::stoi(header[0]), std::stoi(header[1]),
                                 std::stoi(header[2]), nullptr),
              std::stoi(header[3]))
        << header[0] << " x " << header[1] << " x " << header[2];
    const int noRowsLeft = header[1] == "0" ? writer.WriteScanline(row) : kWriteNoHeader;
    EXPECT_EQ(noRowsLeft, kWriteNoHeader) << "an image of no rows takes none";
    writer.Reset();
    EXPECT_EQ(writer.WriteScanline(row), kWriteNoHeader);
    EXPECT_EQ(writer.Finish(), kWriteNoHeader);
    file.Close();
  }
  const Bytes written = ReadFile(dir / "out.ras");  // the last case's, 2 x 1 at 8 bits
  ASSERT_EQ(written.size(), 32u + 768u);
  for (std::size_t i = 0; i < 768; ++i) ASSERT_EQ(written[32 + i], i % 256) << "a grey ramp";
  EXPECT_EQ(SunRasterWriter().WriteScanline(nullptr), kWriteBadArgument);
  utl::CBufferedFile reading;  // a header that cannot be written is a failed write
  reading.Open(dir.Wide("out.ras"), "rb", utl::ShareRead, false);
  EXPECT_EQ(SunRasterWriter().WriteHeader(&reading, 2, 1, 8, nullptr), kWriteFailed);
  std::set<std::string> words;  // and one set of words for an unknown status
  for (int status = -1; status <= kWriteTooLarge; ++status) words.insert(WriteStatusText(status));
  EXPECT_EQ(words.size(), 7u);
}

// The row and image bytes of each size in tests/data/write/sizes.txt, or none.
TEST(Write, RasterSizes) {
  for (const auto& row : Table("write/sizes.txt")) {
    const RasterSize size =
        ComputeRasterSize(std::stoll(row[0]), std::stoll(row[1]), std::stoll(row[2]));
    EXPECT_EQ(size.valid ? std::to_string(size.bytesPerRow) + " " + std::to_string(size.imageBytes)
                         : "none",
              row[3])
        << row[0] << " x " << row[1] << " x " << row[2];
  }
}

const Bytes kOld = {'o', 'l', 'd'};

struct OtherObject : qxio::TrBase {  // of a type the filter does not take
  const utl::CTypeInfo* GetTypeId() const override {
    static const utl::CTypeInfo type;
    return &type;
  }
};

class ExportTest : public ::testing::Test {
protected:
  // The folder holds the old target as it was, or nothing; no transfer or progress is under way.
  void ExpectAsBefore(bool old) {
    EXPECT_EQ(dir.List().size(), old ? 1u : 0u);
    EXPECT_TRUE(!old || ReadFile(dir / "out.ras") == kOld);
    EXPECT_EQ(manager.openProgress, 0);
    fs::remove(dir / "out.ras");
  }

  TempDir dir;
  std::wstring target = dir.Wide("out.ras");
  TestManager manager;
};

// Each transfer of tests/data/write/transfers.txt: only the first image is written, more bring
// one warning, and without E the folder stays as it was. The graphics request is answered with the
// filter's flag and both parameters 0.
TEST_F(ExportTest, TransferOutcomes) {
  for (const auto& row : Table("write/transfers.txt")) {
    const std::string &objects = row[0], &statuses = row[1];
    for (bool old : {false, true}) {
      SCOPED_TRACE(objects + (old ? " over an old file" : ""));
      if (old) WriteFile(dir / "out.ras", kOld);
      auto filter = std::make_unique<SunExportFilter>(manager);
      manager.warnings = 0;
      ASSERT_EQ(filter->BeginExport(target), qxio::ExportDone);
      int images = 0;
      for (std::size_t i = 0; i < statuses.size(); ++i) {
        qxio::TrInitGraphicsExp init;
        init.m_filterParams[0] = init.m_filterParams[1] = 7;  // what another filter answered
        OtherObject other;
        qxio::TrImage image = TestImage(utl::BGR24, 3, 2 + images);
        qxio::TrBase& object = objects[i] == 'I'   ? static_cast<qxio::TrBase&>(init)
                               : objects[i] == 'M' ? static_cast<qxio::TrBase&>(image)
                                                   : other;
        const auto status = statuses[i] == 'D' ? qxio::ExportDone : qxio::ExportNotTaken;
        EXPECT_EQ(filter->ExportObject(object), status);
        EXPECT_TRUE(objects[i] != 'I' ||
                    (init.m_filterFlag && !init.m_filterParams[0] && !init.m_filterParams[1]));
        images += objects[i] == 'M';
      }
      EXPECT_EQ(manager.warnings, images > 1 ? 1 : 0);
      const bool ended = objects.back() == 'E', written = ended && images > 0;
      if (objects.back() == 'B') filter->BeginExport(dir.Wide("second.ras"));
      if (ended) {
        EXPECT_EQ(filter->EndExport(), written ? qxio::ExportDone : qxio::ExportNothingExported);
        EXPECT_EQ(Raised([&] { filter->EndExport(); })->Kind(), utl::ErrorKind::EndBeforeBegin);
      }
      filter.reset();
      if (written) {
        EXPECT_EQ(Import(dir / "out.ras").image->GetHeight(), 2) << "the first image";
        fs::remove(dir / "out.ras");
      }
      ExpectAsBefore(old && !written);
    }
  }
}

// No image before a transfer; none after a begin that failed, for a target without a name or
// when the host raises from its progress. An image that fails part-way (the host raises from its
// progress) leaves the next image of the transfer to replace what it wrote, and no file of its own.
TEST_F(ExportTest, FailedBeginsAndAnImageAfterAFailedOne) {
  SunExportFilter filter(manager);
  qxio::TrImage failing = TestImage(utl::BGR24, 5, 4), next = TestImage(utl::Gray8, 3, 2);
  const auto early = Raised([&] { filter.ExportObject(next); });
  EXPECT_EQ(early.value().Kind(), utl::ErrorKind::General);
  EXPECT_EQ(early->Sentence().back(), L'.') << "a sentence without a line end";
  EXPECT_EQ(Raised([&] { filter.BeginExport(L""); }).value().Kind(), utl::ErrorKind::FileOpen);
  manager.onProgress = [] { throw utl::CError(utl::ErrorKind::General, L"host", 1); };
  EXPECT_TRUE(Raised([&] { filter.BeginExport(target); }));
  EXPECT_EQ(Raised([&] { filter.EndExport(); }).value().Kind(), utl::ErrorKind::EndBeforeBegin);
  ExpectAsBefore(false);
  manager.onProgress = nullptr;
  filter.BeginExport(target);
  manager.onProgress = [] { throw utl::CError(utl::ErrorKind::General, L"host", 1); };
  EXPECT_TRUE(Raised([&] { filter.ExportObject(failing); }));
  manager.onProgress = nullptr;
  EXPECT_EQ(filter.ExportObject(next), qxio::ExportDone);
  EXPECT_EQ(filter.EndExport(), qxio::ExportDone);
  EXPECT_EQ(ReadFile(dir / "out.ras").size(), 32u + 768u + 2 * 4);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"out.ras"}) << "the failed image's file is gone";
}

// Every host format, standard and run-length encoded, in a file larger than the host's buffer:
// the system refuses the write that holds its first byte (while the rows go out) or its last
// (when the file is completed); the transfer is then ended over an old file, or the filter
// destroyed with none.
TEST_F(ExportTest, WritesFailingInTheRowsAndAtTheEnd) {
  for (int f = 1; f < 2 * utl::kColorFormatCount - 1; ++f) {
    const bool runLength = f >= utl::kColorFormatCount;
    const std::wstring options = runLength ? L"Compression=RLE" : L"";
    const utl::ColorFormat format = utl::ColorFormat(f - runLength * 12);
    qxio::TrImage image = TestImage(format, 113, 1 + (1 << 22) / (113 * utl::BitsPerPixel(format)));
    ASSERT_TRUE(Export(image, target, options));
    const std::int64_t size = std::int64_t(ReadFile(dir / "out.ras").size());
    ASSERT_GT(size, std::int64_t(utl::CBufferedFile::kBufferSize));
    fs::remove(dir / "out.ras");
    for (std::int64_t offset : {std::int64_t{0}, size - 1}) {
      for (bool old : {true, false}) {
        SCOPED_TRACE("format " + std::to_string(f) + ", write fault at " + std::to_string(offset));
        if (old) WriteFile(dir / "out.ras", kOld);
        auto filter = std::make_unique<SunExportFilter>(manager);
        filter->SetOptionsFromString(options);
        SetFileFaults({-1, offset});  // for the files opened while it is set
        filter->BeginExport(target);
        SetFileFaults({});
        auto error = Raised([&] { filter->ExportObject(image); });
        if (!error) {
          error = Raised([&] { filter->EndExport(); });
          EXPECT_EQ(manager.openProgress, 0) << "a failed end ends the export's progress";
        } else if (old) {
          EXPECT_EQ(filter->EndExport(), qxio::ExportNothingExported);
        }
        EXPECT_EQ(error.value().Kind(), utl::ErrorKind::FileWrite);
        EXPECT_EQ(error->Path(), target);
        EXPECT_EQ(error->Reason(), utl::ErrnoText(ENOSPC));
        filter.reset();
        ExpectAsBefore(old);
      }
    }
  }
}

}  // namespace
}  // namespace vemra::test
