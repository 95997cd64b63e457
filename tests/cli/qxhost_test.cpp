// The built qxhost, run in a child process as a user runs it, with the plug-in beside it.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include "rasterbytes.h"
#include "sunraster.h"
#include "sunrasterreader.h"
#include "testpng.h"

#if !defined(_WIN32)
#  include <sys/wait.h>
#endif

namespace qxhost::test {
namespace {

namespace fs = std::filesystem;
using vemra::test::Append;
using vemra::test::AppendBe32;
using vemra::test::HeaderFields;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
#if defined(_WIN32)
  return "\"" + text + "\"";
#else
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

// A Sun raster file whose rows hold a byte pattern; rows below height cuts the data short.
Bytes Raster(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
             std::uint32_t type = vemra::kTypeStandard, bool withMap = false, int rows = -1) {
  HeaderFields fields;
  fields.width = width;
  fields.height = height;
  fields.depth = depth;
  fields.type = type;
  Bytes map;
  for (int plane = 0; withMap && plane < 3; ++plane) {
    for (int i = 0; i < (1 << depth); ++i)
      map.push_back(static_cast<std::uint8_t>(i * (plane * 40 + 7)));
  }
  fields.maptype = withMap ? vemra::kMapEqualRgb : vemra::kMapNone;
  fields.maplength = static_cast<std::uint32_t>(map.size());
  Bytes data(static_cast<std::size_t>(vemra::bytesPerRow(width, depth)) *
             (rows < 0 ? height : static_cast<std::uint32_t>(rows)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
  Bytes file = vemra::test::HeaderBytes(fields);
  Append(file, map);
  Append(file, type == vemra::kTypeByteEncoded ? vemra::test::EncodeRuns(data) : data);
  return file;
}

// The image as the plug-in's reader delivers it, as 8-bit RGB.
Rgb ReaderRgb(const fs::path& path) {
  utl::CBufferedFile file;
  file.Open(vemra::test::WidePath(path), "rb", utl::ShareRead, false);
  vemra::SunRasterReader reader;
  Rgb rgb;
  if (reader.ReadHeader(&file) != vemra::kReadOk) return rgb;
  const int depth = reader.m_bitsPerPixel;
  Bytes row(static_cast<std::size_t>(reader.BytesPerRow()));
  for (int y = 0; y < reader.m_imageHeight; ++y) {
    if (reader.ReadScanline(row.data()) != vemra::kReadOk) return Rgb{};
    for (int x = 0; x < reader.m_imageWidth; ++x) {
      if (depth <= 8) {
        const int bit = x * depth;
        const int index = (row[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1);
        const RGBQUAD& c = reader.m_palette[index];
        Append(rgb.pixels, {c.rgbRed, c.rgbGreen, c.rgbBlue});
      } else {
        const std::uint8_t* p = &row[static_cast<std::size_t>(x * depth / 8)];
        Append(rgb.pixels, {p[2], p[1], p[0]});
      }
    }
  }
  rgb.width = reader.m_imageWidth;
  rgb.height = reader.m_imageHeight;
  return rgb;
}

void ExpectSameImage(const Rgb& actual, const Rgb& expected) {
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  ASSERT_FALSE(expected.pixels.empty());
  std::size_t differences = 0;
  for (std::size_t i = 0; i < expected.pixels.size(); ++i) {
    differences += actual.pixels[i] != expected.pixels[i];
  }
  EXPECT_EQ(differences, 0u) << "of " << expected.pixels.size() << " samples";
}

class Cli : public ::testing::Test {
protected:
  // Runs qxhost in the test's folder, so file arguments and messages use plain names.
  Result Run(const std::vector<std::string>& args) {
    const fs::path out = dir / "stdout.txt";
    const fs::path err = dir / "stderr.txt";
    std::string command = "cd " + Quote(dir.Path().string()) + " && " + Quote(QXHOST_BINARY);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
    Result result;
#if defined(_WIN32)
    result.status = std::system(("\"" + command + "\"").c_str());
#else
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    const Bytes outBytes = vemra::test::ReadFile(out);
    const Bytes errBytes = vemra::test::ReadFile(err);
    result.out.assign(outBytes.begin(), outBytes.end());
    result.err.assign(errBytes.begin(), errBytes.end());
    fs::remove(out);
    fs::remove(err);
    return result;
  }
  void Put(const std::string& name, const Bytes& bytes) { dir.Put(name, bytes); }

  vemra::test::TempDir dir;
};

TEST_F(Cli, CommandLineErrorsExitWithUsage) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{}, "no command given"},
      {{"frob", "a.ras"}, "unknown command 'frob'"},
      {{"--frob", "probe", "a.ras"}, "unknown option '--frob'"},
      {{"probe"}, "probe needs at least one file"},
      {{"convert", "a.ras"}, "convert takes an input and an output file"},
      {{"convert", "a.ras", "b.jpg"}, "cannot tell the output format from 'b.jpg'"},
      {{"--max-pixels", "ten", "check", "a.ras"}, "--max-pixels takes a whole number"},
      {{"probe", "a.ras", "--plugin"}, "--plugin needs a value"},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    SCOPED_TRACE(r.err);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(std::string("qxhost: ") + c.message), std::string::npos);
    EXPECT_NE(r.err.find("usage: qxhost"), std::string::npos);
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(Cli, HelpAndVersion) {
  const Result help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: qxhost [options] COMMAND FILE...\n", 0), 0u);
  EXPECT_EQ(Run({"check", "x.ras", "--help"}).status, 0);
  const Result version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "qxhost " QXHOST_VERSION "\n");
}

TEST_F(Cli, PluginThatCannotBeUsed) {
  Put("text.so", Bytes(100, 'x'));
  for (const char* plugin : {"missing.so", "text.so"}) {
    const Result r = Run({"--plugin", plugin, "probe", "a.ras"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(std::string("error: ") + plugin + ": cannot load the plug-in", 0), 0u)
        << r.err;
  }
}

TEST_F(Cli, ProbeLooksAtTheMagicNumberOnly) {
  const Bytes good = Raster(5, 3, 8);
  Put("good.ras", good);
  Put("magic.ras", Bytes(good.begin(), good.begin() + 4));
  Put("empty.ras", {});
  Put("picture.png", MakePng({PNG_COLOR_TYPE_GRAY, 8, 2, 2}));
  const Result mixed = Run({"probe", "good.ras", "magic.ras", "empty.ras", "picture.png", "gone"});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_EQ(mixed.out,
            "good.ras: Sun raster\nmagic.ras: Sun raster\nempty.ras: not recognised\n"
            "picture.png: not recognised\ngone: not recognised\n");
  EXPECT_EQ(Run({"probe", "good.ras", "magic.ras"}).status, 0);
}

TEST_F(Cli, InfoPrintsEntriesInKeyOrder) {
  const Bytes raster = Raster(5, 3, 24);
  Put("good.ras", raster);
  Put("magic.ras", Bytes(raster.begin(), raster.begin() + 20));
  const Result good = Run({"info", "good.ras"});
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.out,
            "File Format: Sun Raster Image\nImage Bits Per Pixel: 24\nImage Height: 3\n"
            "Image Width: 5\n");
  const Result both = Run({"info", "good.ras", "magic.ras"});
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(both.out.rfind("good.ras:\n  File Format: Sun Raster Image\n", 0), 0u);
  EXPECT_EQ(both.err, "error: magic.ras: not a readable Sun raster file\n");
}

TEST_F(Cli, CheckReportsEveryFile) {
  Put("indexed8.ras", Raster(5, 3, 8, vemra::kTypeStandard, true));
  Put("bilevel.ras", Raster(9, 2, 1));
  Put("encoded.ras", Raster(7, 4, 8, vemra::kTypeByteEncoded, true));
  Put("bild-\xC3\xA4\xC3\xB6.ras", Raster(2, 2, 8));
  Put("late.ras", Raster(5, 6, 8, vemra::kTypeStandard, false, 4));
  Put("early.ras", Raster(5, 6, 8, vemra::kTypeStandard, false, 3));
  Bytes foreign = Raster(5, 3, 8);
  foreign[0] = 0x95;
  Put("foreign.ras", foreign);
  const Result ok =
      Run({"check", "indexed8.ras", "bilevel.ras", "encoded.ras", "bild-\xC3\xA4\xC3\xB6.ras"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out,
            "indexed8.ras: ok, 5 x 3, 8 bits\nbilevel.ras: ok, 9 x 2, 1 bits\n"
            "encoded.ras: ok, 7 x 4, 8 bits\nbild-\xC3\xA4\xC3\xB6.ras: ok, 2 x 2, 8 bits\n");

  // Data ending after more than half of the rows still gives an image, with a warning.
  const Result bad =
      Run({"check", "late.ras", "early.ras", "foreign.ras", "gone.ras", "bilevel.ras"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "late.ras: incomplete, 5 x 6, 8 bits\nbilevel.ras: ok, 9 x 2, 1 bits\n");
  EXPECT_EQ(bad.err.rfind("warning: ", 0), 0u) << bad.err;
  for (const char* line : {"\nerror: early.ras: The file 'early.ras' ends before its image data",
                           "\nerror: foreign.ras: The file 'foreign.ras' is not in a format",
                           "\nerror: gone.ras: Cannot open 'gone.ras'"}) {
    EXPECT_NE(bad.err.find(line), std::string::npos) << line << " in\n" << bad.err;
  }
}

TEST_F(Cli, MaxPixelsLimitsImages) {
  Put("ten.ras", Raster(10, 10, 8));
  const Result over = Run({"--max-pixels", "99", "check", "ten.ras"});
  EXPECT_EQ(over.status, 1);
  EXPECT_EQ(over.err.rfind("error: ten.ras: ", 0), 0u) << over.err;
  EXPECT_EQ(Run({"--max-pixels=100", "check", "ten.ras"}).status, 0);
  EXPECT_EQ(Run({"--max-pixels", "0", "--quiet", "check", "ten.ras"}).status, 0);
}

struct RasterCase {
  const char* name;
  std::uint32_t width, height, depth, type;
  bool withMap;
  PngKind kind;
};

void PrintTo(const RasterCase& c, std::ostream* os) { *os << c.name; }

class RasterToPng : public Cli, public ::testing::WithParamInterface<RasterCase> {};

TEST_P(RasterToPng, MatchesTheReadersRows) {
  const RasterCase& c = GetParam();
  Put("in.ras", Raster(c.width, c.height, c.depth, c.type, c.withMap));
  ASSERT_EQ(Run({"convert", "in.ras", "out.png"}).status, 0);
  EXPECT_EQ(KindOf(dir / "out.png"), c.kind);
  ExpectSameImage(DecodeRgb(dir / "out.png"), ReaderRgb(dir / "in.ras"));
}

constexpr int kPalette = PNG_COLOR_TYPE_PALETTE;
constexpr int kRgb = PNG_COLOR_TYPE_RGB;

INSTANTIATE_TEST_SUITE_P(Depths, RasterToPng,
                         ::testing::Values(RasterCase{"bilevel", 9, 3, 1, 1, false, {kPalette, 1}},
                                           RasterCase{"indexed4", 9, 3, 4, 1, true, {kPalette, 4}},
                                           RasterCase{"indexed8", 5, 3, 8, 1, true, {kPalette, 8}},
                                           RasterCase{"encoded8", 7, 4, 8, 2, true, {kPalette, 8}},
                                           RasterCase{"bgr24", 5, 3, 24, 1, false, {kRgb, 8}},
                                           RasterCase{"pad32", 3, 2, 32, 1, false, {kRgb, 8}}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PngCase {
  const char* name;
  PngRecipe recipe;
  std::uint8_t rasterDepth;
};

void PrintTo(const PngCase& c, std::ostream* os) { *os << c.name; }

class PngRoundTrip : public Cli, public ::testing::WithParamInterface<PngCase> {};

// PNG to Sun raster and back keeps every colour; alpha has no place in the format.
TEST_P(PngRoundTrip, KeepsEveryColour) {
  const PngCase& c = GetParam();
  Put("in.png", MakePng(c.recipe));
  ASSERT_EQ(Run({"convert", "in.png", "mid.ras"}).status, 0);
  EXPECT_EQ(vemra::test::ReadFile(dir / "mid.ras").at(15), c.rasterDepth);
  ASSERT_EQ(Run({"convert", "mid.ras", "out.png"}).status, 0);
  ExpectSameImage(DecodeRgb(dir / "out.png"), DecodeRgb(dir / "in.png"));
}

constexpr int kGrey = PNG_COLOR_TYPE_GRAY;
constexpr int kGreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA;
constexpr int kRgba = PNG_COLOR_TYPE_RGB_ALPHA;

INSTANTIATE_TEST_SUITE_P(
    Kinds, PngRoundTrip,
    ::testing::Values(
        PngCase{"grey1", {kGrey, 1, 13, 5}, 1}, PngCase{"grey2", {kGrey, 2, 13, 5}, 8},
        PngCase{"grey4", {kGrey, 4, 13, 5}, 8}, PngCase{"grey8", {kGrey, 8, 13, 5}, 8},
        PngCase{"grey16", {kGrey, 16, 13, 5}, 8}, PngCase{"palette1", {kPalette, 1, 13, 5}, 1},
        PngCase{"palette2", {kPalette, 2, 13, 5}, 8}, PngCase{"palette4", {kPalette, 4, 13, 5}, 8},
        PngCase{"palette8", {kPalette, 8, 13, 5}, 8}, PngCase{"rgb8", {kRgb, 8, 13, 5}, 24},
        PngCase{"rgb16", {kRgb, 16, 13, 5}, 24}, PngCase{"rgba8", {kRgba, 8, 13, 5}, 32},
        PngCase{"rgba16", {kRgba, 16, 13, 5}, 32},
        PngCase{"greyAlpha8", {kGreyAlpha, 8, 13, 5}, 32},
        PngCase{"greyAlpha16", {kGreyAlpha, 16, 13, 5}, 32},
        PngCase{"rgbInterlaced", {kRgb, 8, 13, 11, true}, 24}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Cli, SunRasterIsReencodedAsStandard) {
  Put("encoded.ras", Raster(7, 4, 8, vemra::kTypeByteEncoded, true));
  ASSERT_EQ(Run({"convert", "encoded.ras", "standard.sun"}).status, 0);
  EXPECT_EQ(vemra::test::ReadFile(dir / "standard.sun").at(23), vemra::kTypeStandard);
  ExpectSameImage(ReaderRgb(dir / "standard.sun"), ReaderRgb(dir / "encoded.ras"));
}

// A PNG header that claims 100000 x 100000 RGB pixels in a file of about 80 bytes.
Bytes InflatedPng() {
  Bytes png = {137, 80, 78, 71, 13, 10, 26, 10};
  auto chunk = [&png](const char* type, const Bytes& data) {
    AppendBe32(png, static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    Append(body, data);
    Append(png, body);
    AppendBe32(png,
               static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
  };
  Bytes header;
  AppendBe32(header, 100000);
  AppendBe32(header, 100000);
  Append(header, {8, PNG_COLOR_TYPE_RGB, 0, 0, 0});
  chunk("IHDR", header);
  chunk("IDAT", Bytes(16, 0));
  chunk("IEND", {});
  return png;
}

TEST_F(Cli, FailedConversionLeavesNoFile) {
  Put("early.ras", Raster(5, 6, 8, vemra::kTypeStandard, false, 3));
  const Bytes png = MakePng({kRgb, 8, 40, 30});
  Put("cut.png", Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)));
  Put("big.png", png);
  Put("inflated.png", InflatedPng());
  Put("old.ras", {'o', 'l', 'd'});
  Put("old.png", {'o', 'l', 'd'});
  const auto before = dir.List();
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"convert", "early.ras", "new.png"}, "error: early.ras: "},
      {{"convert", "early.ras", "old.ras"}, "error: early.ras: "},
      {{"convert", "cut.png", "new.ras"}, "error: cut.png: cannot read this PNG file"},
      {{"--max-pixels", "1000", "convert", "big.png", "old.ras"}, "error: big.png: "},
      {{"--max-pixels", "0", "convert", "inflated.png", "new.ras"},
       "error: inflated.png: the PNG claims 100000 x 100000 pixels"},
      {{"convert", "big.png", "no-folder/new.png"}, "error: no-folder/new.png: "},
      {{"convert", "big.png", "no-folder/new.ras"}, "error: no-folder/new.ras: "},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(c.error, 0), 0u) << r.err;
  }
  EXPECT_EQ(dir.List(), before);
  EXPECT_EQ(vemra::test::ReadFile(dir / "old.ras"), Bytes({'o', 'l', 'd'}));
}

// The real-world files against their references. 32bpp.ras stores each pixel as B,G,R,pad
// where the format puts the pad byte first; read the format's way, its bytes become
// pad,B',G',R' = B,G,R,0, so the converted image shows red 0, green R and blue G.
TEST_F(Cli, CorpusMatchesItsReferences) {
  const fs::path corpus = vemra::test::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus at " << VEMRA_CORPUS_DIR;
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    const fs::path raster = entry.path();
    fs::path reference = raster;
    reference.replace_extension(".png");
    if (raster.extension() == ".png" || !fs::exists(reference)) continue;
    SCOPED_TRACE(raster.filename().string());
    ASSERT_EQ(Run({"--quiet", "convert", raster.string(), "out.png"}).status, 0);
    Rgb expected = DecodeRgb(reference);
    if (raster.filename() == "32bpp.ras") {
      for (std::size_t i = 0; i < expected.pixels.size(); i += 3) {
        expected.pixels[i + 2] = expected.pixels[i + 1];
        expected.pixels[i + 1] = expected.pixels[i];
        expected.pixels[i] = 0;
      }
    }
    ExpectSameImage(DecodeRgb(dir / "out.png"), expected);
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace qxhost::test
