// Reading, driven by data: each Sun raster file of tests/data/read, and of the shared corpus when
// present, imports as the image of the PNG beside it, which another reader rendered
// (tests/data/README.md), and so does qxhost's file of each PNG of tests/data/png. qxhost converts
// it to PNG and to Sun raster with the same pixels, and writes a file that is in the writer's own
// layout back byte for byte. (What other readers make of qxhost's files: tests/interop.)

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "sunimportfilter.h"
#include "sunrasterreader.h"
#include "testsupport.h"

namespace vemra::test {
namespace {

void Convert(const fs::path& in, const fs::path& out, const std::string& options = "") {
  const std::string command = "'" QXHOST_BINARY "' --quiet " + options + " convert '" +
                              in.string() + "' '" + out.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class Read : public ::testing::TestWithParam<fs::path> {};

TEST_P(Read, MatchesItsReference) {
  const fs::path& source = GetParam();
  if (source.empty()) GTEST_SKIP() << "no corpus at " << VEMRA_CORPUS_DIR;
  const Rgb reference = LoadPng(fs::path(source).replace_extension(".png"));
  // The code under test reads a copy: a fault of its own (an open that truncates, under a
  // mutation test run by root) must not cost the shared corpus its files.
  TempDir dir;
  const fs::path file = dir / source.filename();
  fs::copy_file(source, file);
  TestManager manager;
  SunImportFilter filter(manager);
  EXPECT_TRUE(filter.CanImportFile(Wide(file)));
  // A filter that has read a file before, with a grey palette and a run owed past its last row.
  Import(filter, manager, Wide(DataDir() / "hostile" / "run-past-last-row.ras"));
  const Imported imported = Import(filter, manager, Wide(file));
  ASSERT_FALSE(imported.error) << imported.error->what();
  EXPECT_EQ(imported.warnings, 0);
  EXPECT_TRUE(imported.progressInOrder);
  const qxio::TrImage& image = *imported.image;
  // A host shows a colour table of every entry that indexed pixels can name, none for others.
  const int bits = utl::BitsPerPixel(image.GetColorFormat());
  EXPECT_EQ(image.GetNumColorTableEntriesUsed(), bits <= 8 ? 1u << bits : 0u);
  ExpectSameRgb(ImageRgb(image), reference);

  Convert(file, dir / "out.png");
  ExpectSameRgb(LoadPng(dir / "out.png"), reference);
  Convert(file, dir / "out.ras");
  const Imported back = Import(dir / "out.ras");
  ASSERT_TRUE(back.image);
  ExpectSameRgb(ImageRgb(*back.image), reference);
  // The writer's layout: the standard type, or run-length data that vemra encoded (the files
  // named so); no map at 1 bit (black and white: qxhost writes other pairs of colours at 8 bits),
  // a full one at 8, none above; at 32 bits the pad byte first (a file whose last bytes are all 0
  // may have it last).
  const Bytes bytes = ReadFile(file);
  const bool encodedByVemra =
      Be32(bytes, 20) == 2 && source.filename().string().find("-vemra-") != std::string::npos;
  if (encodedByVemra) Convert(file, dir / "out.ras", "--rle");
  const std::uint32_t depth = Be32(bytes, 12), mapBytes = depth == 8 ? 768 : 0;
  bool lastBytesZero = depth == 32;
  for (std::size_t i = 35; lastBytesZero && i < bytes.size(); i += 4) lastBytesZero = !bytes[i];
  if ((Be32(bytes, 20) == 1 || encodedByVemra) && depth != 4 &&
      Be32(bytes, 24) == (mapBytes ? 1 : 0) && Be32(bytes, 28) == mapBytes && !lastBytesZero) {
    EXPECT_TRUE(ReadFile(dir / "out.ras") == bytes) << "not written back as it was";
  }
}

// A refused header leaves the reader describing no image, an accepted one has no refusal; Reset
// forgets the file: a row asked for is refused, the file untouched. Headers start at byte 0 only.
TEST(ReadRunLength, NoRowAfterReset) {
  utl::CBufferedFile file;
  file.Open(Wide(DataDir() / "read" / "24bit-w5.ras"), "rb", utl::ShareRead, false);
  SunRasterReader reader;
  EXPECT_EQ(std::pair(reader.ReadHeader(nullptr),
                      reader.ImageWidth() | reader.ImageHeight() | reader.BytesPerRow()),
            std::pair(+kReadShort, 0));
  ASSERT_TRUE(reader.ReadHeader(&file) == kReadOk && reader.Refusal().empty());
  Bytes row(static_cast<std::size_t>(reader.BytesPerRow()));
  const std::int64_t position = file.GetPosition();
  reader.Reset();
  EXPECT_EQ(reader.ReadScanline(row.data()), kReadShort);
  EXPECT_EQ(file.GetPosition(), position);
  EXPECT_EQ(reader.ReadHeader(&file), kReadShort);
}

// Run-length data of 3 MiB, more than the reader takes in at once: shifted by 0 to 4 bytes,
// the repeated codes "80 00" and "80 02 v" have the end of each read-ahead fall between every
// two of their bytes somewhere, and the image still decodes whole.
TEST(ReadRunLength, CodesCutByTheReadAhead) {
  constexpr std::size_t kWidth = 4096;
  TempDir dir;
  for (std::uint8_t shift = 0; shift < 5; ++shift) {
    Bytes encoded(shift, 7), decoded(shift, 7);
    for (std::uint8_t v = 0; encoded.size() < (3u << 20); ++v) {
      encoded.insert(encoded.end(), {0x80, 0x00, 0x80, 0x02, v});
      decoded.insert(decoded.end(), {0x80, v, v, v});
    }
    encoded.resize(encoded.size() + kWidth - decoded.size() % kWidth, 1);
    decoded.resize(decoded.size() + kWidth - decoded.size() % kWidth, 1);
    const auto height = static_cast<std::uint32_t>(decoded.size() / kWidth);
    Bytes file;
    for (const std::uint32_t field : {kSunRasterMagic, std::uint32_t{kWidth}, height, 8u,
                                      std::uint32_t(encoded.size()), 2u, 0u, 0u}) {
      for (int byte = 3; byte >= 0; --byte) file.push_back(std::uint8_t(field >> 8 * byte));
    }
    file.insert(file.end(), encoded.begin(), encoded.end());
    WriteFile(dir / "big.ras", file);
    const Imported imported = Import(dir / "big.ras");
    ASSERT_TRUE(imported.image && imported.warnings == 0) << "shift " << int(shift);
    for (std::uint32_t y = 0; y < height; ++y) {
      ASSERT_EQ(std::memcmp(imported.image->Row(int(y)), &decoded[y * kWidth], kWidth), 0)
          << "shift " << int(shift) << ", row " << y;
    }
  }
}

std::vector<fs::path> Files() {
  std::vector<fs::path> files = FilesIn(DataDir() / "read", {".ras"});
  for (const fs::path& file : FilesIn(DataDir() / "png", {".ras"})) files.push_back(file);
  if (CorpusDir().empty()) return files.push_back({}), files;
  for (const fs::path& file : FilesIn(CorpusDir(), {".ras", ".sun"})) {
    if (fs::exists(fs::path(file).replace_extension(".png"))) files.push_back(file);
  }
  return files;
}

INSTANTIATE_TEST_SUITE_P(Files, Read, ::testing::ValuesIn(Files()), [](const auto& info) {
  std::string name = info.param.empty() ? "no_corpus" : info.param.filename().string();
  if (!info.param.empty() && info.param.parent_path() == CorpusDir()) name = "corpus_" + name;
  for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

}  // namespace
}  // namespace vemra::test
