// The export filter driven as a host drives it: what it writes for each host colour format,
// read back by our reader and by netpbm's rasttopnm, and the frame of a transfer: dispatch,
// progress, the file's fate, failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "recordingmanager.h"
#include "sunexportfilter.h"
#include "sunrasterreader.h"
#include "testfiles.h"
#include "utl/bufferedfile.h"
#include "utl/error.h"

namespace vemra::test {
namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  friend std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << c.r << "," << c.g << "," << c.b;
  }
};

// What a Sun raster file holds, as colours, one row after another.
struct Picture {
  int width = 0, height = 0, depth = 0;  // depth 0 when the reader cannot tell
  std::vector<Rgb> pixels;
  std::vector<std::uint8_t> pads;  // the fourth byte of each 32-bit pixel, in memory order
};

int Expand5(unsigned v) { return static_cast<int>((v << 3) | (v >> 2)); }
int Expand6(unsigned v) { return static_cast<int>((v << 2) | (v >> 4)); }
Rgb Grey(int level) { return {level, level, level}; }
Rgb Entry(const RGBQUAD& q) { return {q.rgbRed, q.rgbGreen, q.rgbBlue}; }

// An image whose every row and byte differs, with a colour table of tableSize entries that
// differ from each other and from a grey ramp.
qxio::TrImage MakeImage(utl::ColorFormat format, int width, int height, unsigned tableSize = 0) {
  std::vector<RGBQUAD> table(256);
  for (unsigned i = 0; i < 256; ++i) {
    table[i] =
        RGBQUAD{static_cast<std::uint8_t>(i * 7 + 3), static_cast<std::uint8_t>(i * 13 + 100),
                static_cast<std::uint8_t>(255 - i), 0};
  }
  qxio::TrImage image;
  image.SetScanlineStart(width, height, format, 0, 0, table.data(), qxio::RowAccessByIndex,
                         tableSize, nullptr);
  Bytes row(image.RowBytes());
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < static_cast<int>(row.size()); ++i) {
      row[static_cast<std::size_t>(i)] =
          static_cast<std::uint8_t>(y * 89 + i * 37 + (y ^ i) * 11 + 5);
    }
    image.SetScanline(row.data(), y);
  }
  image.SetScanlineEnd(nullptr, 0);
  return image;
}

// The colour of pixel (x, y) of a host image, worked out from its bytes and colour table.
Rgb SourcePixel(const qxio::TrImage& image, int x, int y) {
  const std::uint8_t* row = image.Row(y);
  const auto i = static_cast<std::size_t>(x);
  const auto entry = [&image](unsigned index) {
    RGBQUAD q;
    image.GetColorTable(&q, static_cast<int>(index), 1);
    return Entry(q);
  };
  const unsigned bit = (row[i / 8] >> (7 - i % 8)) & 1u;
  const auto nibble = [&] { return i % 2 == 0 ? row[i / 2] >> 4 : row[i / 2] & 0x0Fu; };
  const auto word = [&] { return unsigned(row[2 * i]) | unsigned(row[2 * i + 1]) << 8; };
  switch (image.GetColorFormat()) {
    case utl::Gray1: return Grey(bit ? 255 : 0);
    case utl::Gray4: return Grey(static_cast<int>(nibble() * 17));
    case utl::Gray8: return Grey(row[i]);
    case utl::Gray16: return Grey(row[2 * i + 1]);
    case utl::BGR555:
      return {Expand5(word() >> 10 & 0x1F), Expand5(word() >> 5 & 0x1F), Expand5(word() & 0x1F)};
    case utl::BGR565:
      return {Expand5(word() >> 11 & 0x1F), Expand6(word() >> 5 & 0x3F), Expand5(word() & 0x1F)};
    case utl::Indexed1: return entry(bit);
    case utl::Indexed4: return entry(nibble());
    case utl::Indexed8: return entry(row[i]);
    case utl::BGR24: return {row[3 * i + 2], row[3 * i + 1], row[3 * i]};
    case utl::BGRA32: return {row[4 * i + 2], row[4 * i + 1], row[4 * i]};
    case utl::RGB24: return {row[3 * i], row[3 * i + 1], row[3 * i + 2]};
    default: ADD_FAILURE() << "no pixels in format " << image.GetColorFormat(); return {};
  }
}

// Reads a file with SunRasterReader; a failure is a test failure.
Picture ReadWithOurReader(const std::filesystem::path& path) {
  Picture picture;
  utl::CBufferedFile file;
  file.Open(WidePath(path), "rb", utl::ShareRead, false);
  SunRasterReader reader;
  if (const int status = reader.ReadHeader(&file); status != kReadOk) {
    ADD_FAILURE() << "ReadHeader: status " << status;
    return picture;
  }
  picture = {reader.m_imageWidth, reader.m_imageHeight, reader.m_bitsPerPixel, {}, {}};
  Bytes row(static_cast<std::size_t>(reader.BytesPerRow()));
  for (int y = 0; y < picture.height; ++y) {
    if (const int status = reader.ReadScanline(row.data()); status != kReadOk) {
      ADD_FAILURE() << "ReadScanline " << y << ": status " << status;
      return picture;
    }
    for (std::size_t x = 0; x < static_cast<std::size_t>(picture.width); ++x) {
      const std::size_t n = static_cast<std::size_t>(picture.depth / 8);
      if (picture.depth <= 8) {
        const unsigned index = picture.depth == 1 ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
        picture.pixels.push_back(Entry(reader.m_palette[index]));
      } else {
        picture.pixels.push_back({row[n * x + 2], row[n * x + 1], row[n * x]});
        if (n == 4) picture.pads.push_back(row[4 * x + 3]);
      }
    }
  }
  reader.Reset();
  return picture;
}

// Reads a file with rasttopnm, nullopt when netpbm is not installed. rasttopnm writes PBM, PGM
// or PPM; ppmtoppm makes each a plain (text) PPM.
std::optional<Picture> ReadWithRasttopnm(const std::filesystem::path& path) {
  static const bool installed =
      std::system("command -v rasttopnm >/dev/null 2>&1 && command -v ppmtoppm >/dev/null") == 0;
  if (!installed) return std::nullopt;
  const std::filesystem::path out = std::filesystem::path(path).concat(".ppm");
  const std::string command =
      "rasttopnm '" + path.string() + "' 2>/dev/null | ppmtoppm -plain > '" + out.string() + "'";
  Picture picture;
  EXPECT_EQ(std::system(command.c_str()), 0) << "rasttopnm refused " << path;
  const Bytes data = ReadFile(out);
  std::filesystem::remove(out);
  std::istringstream in(std::string(data.begin(), data.end()));
  std::string magic;
  int maxval = 0;
  in >> magic >> picture.width >> picture.height >> maxval;
  EXPECT_TRUE(magic == "P3" && maxval == 255) << magic << " " << maxval;
  for (Rgb p; in >> p.r >> p.g >> p.b;) picture.pixels.push_back(p);
  return picture;
}

std::string FormatName(int format) {
  static const char* const names[] = {"Unknown", "Gray1",    "Gray4",    "Gray8",    "BGR555",
                                      "BGR565",  "Indexed1", "Indexed4", "Indexed8", "BGR24",
                                      "BGRA32",  "RGB24",    "Gray16"};
  return format >= 0 && format < utl::kColorFormatCount ? names[format] : std::to_string(format);
}

// An object of a type the filter does not take.
class OtherObject : public qxio::TrBase {
public:
  const utl::CTypeInfo* GetTypeId() const override {
    static const utl::CTypeInfo type;
    return &type;
  }
};

// The kind of the host's error an operation raises (and its path and message); nullopt when it
// raises none.
std::optional<utl::ErrorKind> RaisedBy(const std::function<void()>& op,
                                       std::wstring* path = nullptr,
                                       std::wstring* message = nullptr) {
  try {
    op();
  } catch (const utl::IError& error) {
    if (path) *path = error.Path();
    if (message) *message = error.Message();
    return error.Kind();
  }
  return std::nullopt;
}

const Bytes kOldContent = {'o', 'l', 'd', 0, 1, 2, 3};

class ExportTest : public ::testing::Test {
protected:
  // Exports the image as the only object of a transfer and returns the file's path.
  std::filesystem::path Export(qxio::TrImage& image) {
    SunExportFilter filter(m_manager);
    filter.BeginExport(m_target);
    EXPECT_EQ(filter.ExportObject(image), qxio::ExportDone);
    EXPECT_EQ(filter.EndExport(), qxio::ExportDone);
    return m_dir / "out.ras";
  }
  void PutOldTarget(bool put = true) {
    if (put) WriteFile(m_dir / "out.ras", kOldContent);
  }
  // The folder holds what the target held before a transfer that wrote nothing, and the
  // filter has no transfer under way; removes the target for the next case.
  void ExpectUntouched(SunExportFilter& filter, bool oldTarget) {
    EXPECT_EQ(m_dir.List().size(), oldTarget ? 1u : 0u);
    if (oldTarget) {
      EXPECT_EQ(ReadFile(m_dir / "out.ras"), kOldContent);
    }
    EXPECT_EQ(RaisedBy([&] { filter.EndExport(); }), utl::ErrorKind::EndBeforeBegin);
    std::filesystem::remove(m_dir / "out.ras");
  }

  RecordingManager m_manager;
  TempDir m_dir;
  std::wstring m_target = m_dir.Wide("out.ras");
  SunExportFilter m_filter{m_manager};
};

// What the export writes for each colour format.

class ExportImageTest : public ExportTest, public ::testing::WithParamInterface<utl::ColorFormat> {
protected:
  // Exports a sweep of sizes (every bit offset of a byte, odd heights) with whole colour
  // tables and compares what read() sees with the source pixels.
  void Sweep(const std::function<Picture(const std::filesystem::path&)>& read) {
    const utl::ColorFormat format = GetParam();
    const unsigned table = format == utl::Indexed1   ? 2
                           : format == utl::Indexed4 ? 16
                           : format == utl::Indexed8 ? 256
                                                     : 0;
    for (int height : {1, 3, 7}) {
      for (int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 113, 163}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        qxio::TrImage image = MakeImage(format, width, height, table);
        const Picture picture = read(Export(image));
        ASSERT_EQ(picture.width, width);
        ASSERT_EQ(picture.height, height);
        ASSERT_EQ(picture.pixels.size(), static_cast<std::size_t>(width) * height);
        for (int i = 0; i < width * height; ++i) {
          const int x = i % width, y = i / width;
          ASSERT_EQ(picture.pixels[std::size_t(i)], SourcePixel(image, x, y)) << x << "," << y;
          if (!picture.pads.empty()) {  // the fourth byte of a 32-bit pixel survives
            ASSERT_EQ(picture.pads[std::size_t(i)], image.Row(y)[4 * x + 3]) << x << "," << y;
          }
        }
      }
    }
  }
};

TEST_P(ExportImageTest, OurReaderSeesTheSourcePixels) { Sweep(ReadWithOurReader); }

TEST_P(ExportImageTest, RasttopnmSeesTheSourcePixels) {
  qxio::TrImage probe = MakeImage(utl::Gray8, 1, 1);
  if (!ReadWithRasttopnm(Export(probe))) {
    GTEST_SKIP() << "rasttopnm is not installed (Debian package netpbm)";
  }
  Sweep([](const auto& path) { return ReadWithRasttopnm(path).value_or(Picture()); });
}

INSTANTIATE_TEST_SUITE_P(EveryHostFormat, ExportImageTest,
                         ::testing::Values(utl::Gray1, utl::Gray4, utl::Gray8, utl::BGR555,
                                           utl::BGR565, utl::Indexed1, utl::Indexed4, utl::Indexed8,
                                           utl::BGR24, utl::BGRA32, utl::RGB24, utl::Gray16),
                         [](const auto& info) { return FormatName(info.param); });

// The depth and colour map in the header, and that rows take the path the depth needs (the
// file's length), for each colour format.
TEST_F(ExportTest, DepthAndColourMapPerFormat) {
  const struct {
    utl::ColorFormat format;
    unsigned tableSize;
    std::uint32_t depth;
    unsigned grey;  // entries of a grey ramp; else the image's table; the rest of the map is black
  } cases[] = {{utl::Gray1, 0, 1, 2},    {utl::Gray4, 0, 8, 16},  // its pixels are 0..15
               {utl::Gray8, 0, 8, 256},  {utl::Indexed1, 5, 1, 0}, {utl::Indexed1, 1, 1, 0},
               {utl::Indexed4, 5, 8, 0}, {utl::Indexed4, 0, 8, 0}, {utl::Indexed8, 256, 8, 0},
               {utl::BGR555, 0, 24, 0},  {utl::BGR565, 0, 24, 0},  {utl::BGR24, 0, 24, 0},
               {utl::BGRA32, 0, 32, 0},  {utl::RGB24, 0, 24, 0},   {utl::Gray16, 0, 24, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(FormatName(c.format) + " with " + std::to_string(c.tableSize) + " entries");
    qxio::TrImage image = MakeImage(c.format, 3, 2, c.tableSize);
    const Bytes file = ReadFile(Export(image));
    ASSERT_GE(file.size(), 32u);
    const auto word = [&file](std::size_t i) {
      return std::uint32_t(file[4 * i]) << 24 | std::uint32_t(file[4 * i + 1]) << 16 |
             std::uint32_t(file[4 * i + 2]) << 8 | std::uint32_t(file[4 * i + 3]);
    };
    EXPECT_EQ(word(3), c.depth);
    EXPECT_EQ(word(5), 1u);  // standard type
    const unsigned entries = c.depth <= 8 ? 1u << c.depth : 0;
    EXPECT_EQ(word(6), entries ? 1u : 0u);
    ASSERT_EQ(word(7), 3 * entries);
    EXPECT_EQ(word(4), 2 * ((3 * c.depth + 15) / 16 * 2));  // two rows, each padded to 16 bits
    ASSERT_EQ(file.size(), 32 + 3 * entries + word(4));
    for (unsigned i = 0; i < entries; ++i) {
      RGBQUAD q{0, 0, 0, 0};
      if (i < c.tableSize) image.GetColorTable(&q, static_cast<int>(i), 1);
      const Rgb want = i < c.grey ? Grey(static_cast<int>(i * 255 / (c.grey - 1))) : Entry(q);
      ASSERT_EQ(Rgb({file[32 + i], file[32 + entries + i], file[32 + 2 * entries + i]}), want)
          << "entry " << i;
    }
  }
}

// The frame of a transfer.

class ExportFrameTest : public ExportTest {};

// Transfers one after another on one filter, with the objects named by letters: I a
// TrInitGraphicsExp, M an image (the first 2 rows high, the next 3, ...), O an object of
// another type. Only the first image is written; the warning about more comes once per filter.
TEST_F(ExportFrameTest, TransferOutcomes) {
  const struct {
    const char* objects;
    std::vector<qxio::ExportStatus> statuses;
    qxio::ExportStatus end;
  } cases[] = {
      {"", {}, qxio::ExportNothingExported},
      {"I", {qxio::ExportDone}, qxio::ExportNothingExported},
      {"O", {qxio::ExportNotTaken}, qxio::ExportNothingExported},
      {"MMM", {qxio::ExportDone, qxio::ExportNotTaken, qxio::ExportNotTaken}, qxio::ExportDone},
      {"M", {qxio::ExportDone}, qxio::ExportDone},
      {"IMOM",
       {qxio::ExportDone, qxio::ExportDone, qxio::ExportNotTaken, qxio::ExportNotTaken},
       qxio::ExportDone},
  };
  std::size_t warnings = 0;
  bool sawExtraImages = false;
  for (const auto& c : cases) {
    for (bool oldTarget : {false, true}) {
      SCOPED_TRACE(std::string("objects \"") + c.objects + (oldTarget ? "\", old target" : "\""));
      m_manager.Clear();
      PutOldTarget(oldTarget);
      ASSERT_EQ(m_filter.BeginExport(m_target), qxio::ExportDone);
      int images = 0;
      for (std::size_t i = 0; c.objects[i] != '\0'; ++i) {
        qxio::TrInitGraphicsExp init;
        qxio::TrImage image = MakeImage(utl::BGR24, 3, 2 + images);
        OtherObject other;
        qxio::TrBase& object = c.objects[i] == 'I'   ? static_cast<qxio::TrBase&>(init)
                               : c.objects[i] == 'M' ? static_cast<qxio::TrBase&>(image)
                                                     : static_cast<qxio::TrBase&>(other);
        EXPECT_EQ(m_filter.ExportObject(object), c.statuses[i]) << "object " << i;
        EXPECT_TRUE(c.objects[i] != 'I' || init.m_filterFlag);
        images += c.objects[i] == 'M';
      }
      EXPECT_EQ(m_filter.EndExport(), c.end);
      warnings += m_manager.m_warnings.size();
      sawExtraImages = sawExtraImages || images > 1;
      EXPECT_EQ(warnings, sawExtraImages ? 1u : 0u);
      ASSERT_EQ(m_manager.m_progressStarts.size(), 1u);
      EXPECT_EQ(m_manager.m_messages,
                std::vector<std::wstring>{L"Exporting SUN data to file " + m_target});
      EXPECT_EQ(m_manager.OpenProgress(), 0);
      if (images > 0) {
        EXPECT_EQ(m_dir.List().size(), 1u);
        EXPECT_EQ(ReadWithOurReader(m_dir / "out.ras").height, 2);  // the first image
        std::filesystem::remove(m_dir / "out.ras");
      }
      ExpectUntouched(m_filter, oldTarget && images == 0);
    }
  }
}

// Destroying a filter mid-transfer, or beginning another transfer, leaves the folder as it
// was before.
TEST_F(ExportFrameTest, AbandonedTransfers) {
  for (int images = 0; images < 3; ++images) {
    for (bool oldTarget : {false, true}) {
      SCOPED_TRACE(std::to_string(images) + (oldTarget ? " images, old target" : " images"));
      PutOldTarget(oldTarget);
      auto filter = std::make_unique<SunExportFilter>(m_manager);
      filter->BeginExport(m_target);
      qxio::TrImage image = MakeImage(utl::Gray8, 9, 7);
      for (int i = 0; i < images; ++i) filter->ExportObject(image);
      EXPECT_EQ(m_dir.List().size(), oldTarget ? 2u : 1u);  // the temporary file
      if (images == 2) {
        filter->BeginExport(m_dir.Wide("second.ras"));
        EXPECT_EQ(m_dir.List().size(), oldTarget ? 2u : 1u);  // only the second's
      }
      filter.reset();
      ExpectUntouched(m_filter, oldTarget);
    }
  }
  EXPECT_EQ(m_manager.OpenProgress(), 0);
}

// Progress after every 32nd row and the last, then 1.0.
TEST_F(ExportFrameTest, ProgressCadence) {
  const struct {
    int height;
    std::vector<double> fractions;
  } cases[] = {
      {100, {0.0, 0.32, 0.64, 0.96, 0.99, 1.0}}, {1, {0.0, 1.0}}, {33, {0.0, 32.0 / 33, 1.0}}};
  for (const auto& c : cases) {
    m_manager.Clear();
    qxio::TrImage image = MakeImage(utl::Indexed4, 3, c.height, 16);
    m_filter.BeginExport(m_target);
    m_filter.ExportObject(image);
    m_filter.EndExport();
    ASSERT_EQ(m_manager.m_proportions.size(), c.fractions.size()) << c.height;
    for (std::size_t i = 0; i < c.fractions.size(); ++i) {
      EXPECT_DOUBLE_EQ(m_manager.m_proportions[i], c.fractions[i]) << c.height << ": " << i;
    }
  }
}

// A write failure in the header, the map or a row ends the image with the right error; the
// count stays 0, so the transfer ends with nothing exported, and the folder is as it was,
// whether the host then ends the transfer or destroys the filter.
TEST_F(ExportFrameTest, WriteFailures) {
  const std::wstring header =
      L"Failed formatting data for writing and/or failed writing data to file";
  const std::pair<std::int64_t, std::wstring> cases[] = {
      {0, header}, {32 + 100, header}, {32 + 768 + 2 * 4 + 1, L"File write failed"}};
  for (const auto& [failAfter, message] : cases) {  // in the header, the map, the third row
    for (int variant = 0; variant < 4; ++variant) {
      const bool endTransfer = variant & 1, oldTarget = variant & 2;
      SCOPED_TRACE(std::to_string(failAfter) + (endTransfer ? ", ended" : ", destroyed") +
                   (oldTarget ? ", old target" : ""));
      PutOldTarget(oldTarget);
      m_manager.Clear();
      auto filter = std::make_unique<SunExportFilter>(m_manager);
      qxio::TrImage image = MakeImage(utl::Gray8, 3, 4);
      utl::SetFileFaults({-1, failAfter});  // for files opened while it is set
      filter->BeginExport(m_target);
      utl::SetFileFaults({});
      std::wstring path, text;
      EXPECT_EQ(RaisedBy([&] { filter->ExportObject(image); }, &path, &text),
                utl::ErrorKind::FileWrite);
      EXPECT_EQ(path + L": " + text, m_target + L": " + message);
      EXPECT_EQ(m_manager.m_errors.size(), 1u);
      if (endTransfer) {
        EXPECT_EQ(filter->EndExport(), qxio::ExportNothingExported);  // the count stayed 0
      }
      filter.reset();
      EXPECT_EQ(m_manager.OpenProgress(), 0);
      ExpectUntouched(m_filter, oldTarget);
    }
  }
}

// After an image fails part-way (here the host raises from its progress), the next image of
// the transfer replaces what the failed one left in the file.
TEST_F(ExportFrameTest, ImageAfterAFailedOne) {
  qxio::TrImage failing = MakeImage(utl::BGR24, 5, 4);
  qxio::TrImage next = MakeImage(utl::Gray8, 3, 2);
  m_manager.m_onProportion = [](double) {
    throw utl::CError(utl::ErrorKind::General, L"host", 1, L"", L"cancelled");
  };
  m_filter.BeginExport(m_target);
  EXPECT_TRUE(RaisedBy([&] { m_filter.ExportObject(failing); }));
  m_manager.m_onProportion = nullptr;
  EXPECT_EQ(m_filter.ExportObject(next), qxio::ExportDone);
  EXPECT_EQ(m_filter.EndExport(), qxio::ExportDone);
  EXPECT_EQ(ReadWithOurReader(m_dir / "out.ras").depth, 8);
  EXPECT_EQ(ReadFile(m_dir / "out.ras").size(), 32u + 768u + 2 * 4);
}

// Calls out of order, a target that cannot be opened, and a host whose progress raises while
// the transfer begins all leave no transfer under way and no file.
TEST_F(ExportFrameTest, NoTransferWithoutASuccessfulBegin) {
  PutOldTarget();
  EXPECT_EQ(RaisedBy([&] { m_filter.EndExport(); }), utl::ErrorKind::EndBeforeBegin);
  qxio::TrImage image = MakeImage(utl::BGR24, 2, 2);
  EXPECT_EQ(RaisedBy([&] { m_filter.ExportObject(image); }), utl::ErrorKind::General);
  ExpectUntouched(m_filter, true);
  for (const std::wstring& target : {m_dir.Wide("missing-folder/out.ras"), std::wstring()}) {
    std::wstring path;
    EXPECT_EQ(RaisedBy([&] { m_filter.BeginExport(target); }, &path), utl::ErrorKind::FileOpen);
    EXPECT_EQ(path, target);
    ExpectUntouched(m_filter, false);
  }
  const auto fail = [] { throw utl::CError(utl::ErrorKind::General, L"host", 1); };
  for (auto* hook : {&m_manager.m_onProgressStart, &m_manager.m_onMessage}) {
    *hook = fail;
    EXPECT_TRUE(RaisedBy([&] { m_filter.BeginExport(m_target); }));
    *hook = nullptr;
    ExpectUntouched(m_filter, false);
  }
  EXPECT_TRUE(m_manager.m_proportions.empty());
}

// When the finished file cannot take the target's place (a folder stands there), the error
// names the target and the folder is as it was.
TEST_F(ExportFrameTest, TargetCannotBeReplaced) {
  std::filesystem::create_directory(m_dir / "out.ras");
  WriteFile(m_dir / "out.ras" / "inside", kOldContent);
  qxio::TrImage image = MakeImage(utl::BGR24, 2, 2);
  m_filter.BeginExport(m_target);
  m_filter.ExportObject(image);
  std::wstring path;
  EXPECT_EQ(RaisedBy([&] { m_filter.EndExport(); }, &path), utl::ErrorKind::FileWrite);
  EXPECT_EQ(path, m_target);
  EXPECT_EQ(m_dir.List(), std::vector<std::string>{"out.ras"});
  EXPECT_EQ(ReadFile(m_dir / "out.ras" / "inside"), kOldContent);
  EXPECT_EQ(m_manager.OpenProgress(), 0);
}

}  // namespace
}  // namespace vemra::test
