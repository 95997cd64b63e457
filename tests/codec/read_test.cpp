// Reading, driven by data: each Sun raster file of tests/data/read, and of the shared corpus when
// present, imports as the image of the PNG beside it, which another reader rendered
// (tests/data/README.md). qxhost converts it to PNG and to Sun raster with the same pixels, and
// writes a file that is in the writer's own layout back byte for byte.

#include <cctype>
#include <cstdlib>
#include <fstream>

#include "sunimportfilter.h"
#include "testsupport.h"

namespace vemra::test {
namespace {

// Corpus files whose reference shows a decision that vemra makes otherwise, from corpus.txt.
bool DiffersOnPurpose(const fs::path& file) {
  std::ifstream list(DataDir() / "read" / "corpus.txt");
  for (std::string name; list >> name;) {
    if (name == file.filename().string() && file.parent_path() == CorpusDir()) return true;
    list.ignore(1 << 16, '\n');
  }
  return false;
}

void Convert(const fs::path& in, const fs::path& out) {
  const std::string command = "'" QXHOST_BINARY "' --quiet convert '" + in.string() + "' '" +
                              out.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class Read : public ::testing::TestWithParam<fs::path> {};

TEST_P(Read, MatchesItsReference) {
  const fs::path& file = GetParam();
  if (file.empty()) GTEST_SKIP() << "no corpus at " << VEMRA_CORPUS_DIR;
  const Rgb reference = LoadPng(fs::path(file).replace_extension(".png"));
  TestManager manager;
  SunImportFilter filter(manager);
  EXPECT_TRUE(filter.CanImportFile(Wide(file)));
  // A filter that has read a file before, with a grey palette and a run owed past its last row.
  Import(filter, manager, Wide(DataDir() / "hostile" / "run-past-last-row.ras"));
  const Imported imported = Import(filter, manager, Wide(file));
  ASSERT_FALSE(imported.error) << imported.error->what();
  EXPECT_EQ(imported.warnings, 0);
  const qxio::TrImage& image = *imported.image;
  if (DiffersOnPurpose(file)) {
    EXPECT_NE(ImageRgb(image).pixels, reference.pixels) << "now like its reference: see corpus.txt";
    return;
  }
  ExpectSameRgb(ImageRgb(image), reference);

  TempDir dir;
  Convert(file, dir / "out.png");
  ExpectSameRgb(LoadPng(dir / "out.png"), reference);
  Convert(file, dir / "out.ras");
  const Imported back = Import(dir / "out.ras");
  ASSERT_TRUE(back.image);
  ExpectSameRgb(ImageRgb(*back.image), reference);
  // The writer's layout: the standard type; a full colour map at 1 and 8 bits, none above.
  const Bytes bytes = ReadFile(file);
  const std::uint32_t depth = Be32(bytes, 12), mapBytes = depth <= 8 ? 3u << depth : 0;
  if (Be32(bytes, 20) == 1 && depth != 4 && Be32(bytes, 24) == (mapBytes ? 1 : 0) &&
      Be32(bytes, 28) == mapBytes) {
    EXPECT_TRUE(ReadFile(dir / "out.ras") == bytes) << "not written back as it was";
  }
}

std::vector<fs::path> Files() {
  std::vector<fs::path> files = FilesIn(DataDir() / "read", {".ras"});
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
