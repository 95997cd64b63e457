// The built qxhost, run in a child process as a user runs it, with the plug-in beside it. PNG
// files are made and decoded here with libpng, independently of qxhost.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include "rasterbytes.h"
#include "sunraster.h"
#include "sunrasterreader.h"
#include "testfiles.h"

#if !defined(_WIN32)
#  include <sys/wait.h>
#endif

namespace qxhost::test {
namespace {

namespace fs = std::filesystem;
using vemra::test::Append;
using vemra::test::Bytes;
using Strings = std::vector<std::string>;

struct Rgb {  // 8-bit RGB, three bytes per pixel
  int width = 0, height = 0;
  Bytes pixels;
};

struct PngRecipe {
  int colorType, bitDepth, width, height;
  bool interlaced = false;
};

// Samples fill each depth's range; 16-bit samples are k * 256 + 127, which give k whether a
// reader truncates or rounds, but not if it takes the low byte.
Bytes MakePng(const PngRecipe& r) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Bytes row(static_cast<std::size_t>(r.width) * 8);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("cannot make the test PNG");
  png_set_write_fn(png, &out, [](png_structp p, png_bytep data, std::size_t size) {
    auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
    o->insert(o->end(), data, data + size);
  }, nullptr);
  png_set_IHDR(png, info, r.width, r.height, r.bitDepth, r.colorType,
               r.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  png_color palette[256];
  for (int i = 0; i < 256; ++i) palette[i] = {png_byte(i * 3), png_byte(~i), png_byte(i * 29)};
  if (r.colorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 1 << r.bitDepth);
  png_write_info(png, info);
  const int channels = png_get_channels(png, info);
  const int maxValue = (1 << std::min(r.bitDepth, 8)) - 1;
  for (int pass = png_set_interlace_handling(png); pass > 0; --pass) {
    for (int y = 0; y < r.height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      for (int bit = 0, s = 0; s < r.width * channels; ++s, bit += r.bitDepth) {
        const int value = (s / channels * 7 + y * 13 + s % channels * 61 + 3) % (maxValue + 1);
        if (r.bitDepth == 16) row[bit / 8 + 1] = 127;
        const int shift = r.bitDepth >= 8 ? 0 : 8 - r.bitDepth - bit % 8;
        row[bit / 8] |= static_cast<png_byte>(value << shift);
      }
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Empty when the file is no valid PNG. Plain transforms, no gamma: 16-bit samples keep their
// high byte, and alpha is dropped.
Rgb DecodeRgb(const fs::path& path) {
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  if (!file) return Rgb{};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return Rgb{};
  }
  png_init_io(png, file);
  png_read_png(png, info, PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_STRIP_ALPHA |
               PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_GRAY_TO_RGB, nullptr);
  Rgb rgb{static_cast<int>(png_get_image_width(png, info)),
          static_cast<int>(png_get_image_height(png, info)), {}};
  const png_bytepp rows = png_get_rows(png, info);
  for (int y = 0; y < rgb.height; ++y) Append(rgb.pixels, Bytes(rows[y], rows[y] + rgb.width * 3));
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return rgb;
}

// A Sun raster file whose rows hold a byte pattern; rows below height cut the data short.
Bytes Raster(std::uint32_t width, std::uint32_t height, std::uint32_t depth,
             std::uint32_t type = vemra::kTypeStandard, bool withMap = false, int rows = -1) {
  Bytes map;
  for (int i = 0; withMap && i < 3 << depth; ++i) {
    map.push_back(static_cast<std::uint8_t>(i % (1 << depth) * ((i >> depth) * 40 + 7)));
  }
  Bytes data(static_cast<std::size_t>(vemra::bytesPerRow(width, depth)) *
             (rows < 0 ? height : static_cast<std::uint32_t>(rows)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
  Bytes file = vemra::test::HeaderBytes({0x59A66A95, width, height, depth, 0, type,
                                         withMap ? vemra::kMapEqualRgb : vemra::kMapNone,
                                         static_cast<std::uint32_t>(map.size())});
  Append(file, map);
  Append(file, type == vemra::kTypeByteEncoded ? vemra::test::EncodeRuns(data) : data);
  return file;
}

// The image as the plug-in's reader delivers it, as 8-bit RGB.
Rgb ReaderRgb(const fs::path& path) {
  utl::CBufferedFile file;
  file.Open(vemra::test::WidePath(path), "rb", utl::ShareRead, false);
  vemra::SunRasterReader reader;
  if (reader.ReadHeader(&file) != vemra::kReadOk) return Rgb{};
  Rgb rgb{reader.m_imageWidth, reader.m_imageHeight, {}};
  const int depth = reader.m_bitsPerPixel;
  Bytes row(static_cast<std::size_t>(reader.BytesPerRow()));
  for (int y = 0; y < reader.m_imageHeight; ++y) {
    if (reader.ReadScanline(row.data()) != vemra::kReadOk) return Rgb{};
    for (int x = 0, bit = 0; x < reader.m_imageWidth; ++x, bit += depth) {
      if (depth <= 8) {
        const int index = (row[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1);
        const RGBQUAD& c = reader.m_palette[index];
        Append(rgb.pixels, {c.rgbRed, c.rgbGreen, c.rgbBlue});
      } else {
        Append(rgb.pixels, {row[bit / 8 + 2], row[bit / 8 + 1], row[bit / 8]});
      }
    }
  }
  return rgb;
}

void ExpectSameImage(const Rgb& actual, const Rgb& expected) {
  ASSERT_FALSE(expected.pixels.empty());
  EXPECT_EQ(std::tie(actual.width, actual.height, actual.pixels),
            std::tie(expected.width, expected.height, expected.pixels));
}

std::string Quote(const std::string& text) {
#if defined(_WIN32)
  return "\"" + text + "\"";
#else
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

class Cli : public ::testing::Test {
protected:
  struct Result {
    int status = -1;
    std::string out, err;
  };
  // Runs qxhost in the test's folder, so file arguments and messages use plain names.
  Result Run(const Strings& args) {
    std::string command = "cd " + Quote(dir.Path().string()) + " && " + Quote(QXHOST_BINARY);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote((dir / "out.txt").string()) + " 2>" + Quote((dir / "err.txt").string());
    Result result;
#if defined(_WIN32)
    result.status = std::system(("\"" + command + "\"").c_str());
#else
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    for (auto [name, text] : {std::pair{"out.txt", &result.out}, {"err.txt", &result.err}}) {
      const Bytes bytes = vemra::test::ReadFile(dir / name);
      text->assign(bytes.begin(), bytes.end());
      fs::remove(dir / name);
    }
    return result;
  }
  void Put(const std::string& name, const Bytes& bytes) { dir.Put(name, bytes); }

  vemra::test::TempDir dir;
};

constexpr int kGrey = PNG_COLOR_TYPE_GRAY, kGreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA;
constexpr int kPalette = PNG_COLOR_TYPE_PALETTE, kRgb = PNG_COLOR_TYPE_RGB;
constexpr int kRgba = PNG_COLOR_TYPE_RGB_ALPHA;

// Exit codes 0 (all well), 1 (a file or the plug-in failed) and 2 (usage), with their messages.
// None of these runs leaves a file behind, a failed conversion included.
TEST_F(Cli, ExitCodesAndMessages) {
  const Bytes good = Raster(5, 3, 24);
  Put("good.ras", good);
  Put("magic.ras", Bytes(good.begin(), good.begin() + 20));
  Put("empty.ras", {});
  Put("text.so", Bytes(100, 'x'));
  Put("picture.png", MakePng({kGrey, 8, 2, 2}));
  Put("indexed8.ras", Raster(5, 3, 8, vemra::kTypeStandard, true));
  Put("bilevel.ras", Raster(9, 2, 1));
  Put("encoded.ras", Raster(7, 4, 8, vemra::kTypeByteEncoded, true));
  Put("bild-\xC3\xA4\xC3\xB6.ras", Raster(2, 2, 8));
  Put("late.ras", Raster(5, 6, 8, vemra::kTypeStandard, false, 4));
  Put("early.ras", Raster(5, 6, 8, vemra::kTypeStandard, false, 3));
  Put("ten.ras", Raster(10, 10, 8));
  Bytes foreign = good;
  foreign[0] = 0x95;
  Put("foreign.ras", foreign);
  const Bytes png = MakePng({kRgb, 8, 40, 30});
  Put("cut.png", Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)));
  Put("big.png", png);
  // The header claims 100000 x 100000 pixels in a file of a few hundred bytes.
  Bytes inflated = png;
  for (int at : {16, 20}) std::copy_n(Bytes{0, 1, 0x86, 0xA0}.begin(), 4, &inflated[at]);
  const uLong crc = crc32(0, &inflated[12], 17);
  for (int i = 0; i < 4; ++i) inflated[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  Put("inflated.png", inflated);
  Put("old.ras", {'o', 'l', 'd'});
  Put("old.png", {'o', 'l', 'd'});
  const auto before = dir.List();
  const std::string usage = "usage: qxhost [options] COMMAND FILE...\n";
  const std::string info =
      "File Format: Sun Raster Image\nImage Bits Per Pixel: 24\nImage Height: 3\nImage Width: 5\n";
  struct Case {
    Strings args;
    int status;
    std::string out;  // the whole of standard output (its start when prefix)
    Strings err;      // the lines, or their starts, expected in standard error
    bool prefix = false;
  };
  const Case cases[] = {
      // Usage errors: the message, then the usage (added below).
      {{}, 2, "", {"qxhost: no command given"}},
      {{"frob", "a.ras"}, 2, "", {"qxhost: unknown command 'frob'"}},
      {{"--frob", "probe", "a.ras"}, 2, "", {"qxhost: unknown option '--frob'"}},
      {{"probe"}, 2, "", {"qxhost: probe needs at least one file"}},
      {{"convert", "a.ras"}, 2, "", {"qxhost: convert takes an input and an output file"}},
      {{"convert", "a", "b.jpg"}, 2, "", {"qxhost: cannot tell the output format from 'b.jpg'"}},
      {{"--max-pixels", "ten", "check", "a"}, 2, "", {"qxhost: --max-pixels takes a whole number"}},
      {{"probe", "a.ras", "--plugin"}, 2, "", {"qxhost: --plugin needs a value"}},
      {{"--help"}, 0, usage, {}, true},
      {{"check", "x.ras", "--help"}, 0, usage, {}, true},
      {{"--version"}, 0, "qxhost " QXHOST_VERSION "\n", {}},
      {{"--plugin", "gone.so", "probe", "a"}, 1, "", {"error: gone.so: cannot load the plug-in"}},
      {{"--plugin", "text.so", "probe", "a"}, 1, "", {"error: text.so: cannot load the plug-in"}},
      // probe looks at the magic number only
      {{"probe", "good.ras", "magic.ras", "empty.ras", "picture.png", "gone"}, 1,
       "good.ras: Sun raster\nmagic.ras: Sun raster\nempty.ras: not recognised\n"
       "picture.png: not recognised\ngone: not recognised\n", {}},
      {{"probe", "good.ras", "magic.ras"}, 0, "good.ras: Sun raster\nmagic.ras: Sun raster\n", {}},
      {{"info", "good.ras"}, 0, info, {}},
      {{"info", "good.ras", "magic.ras", "foreign.ras"}, 1, "good.ras:\n  File Format: Sun Raster",
       {"error: magic.ras: not a readable Sun raster file", "error: foreign.ras: not a readable"},
       true},
      {{"check", "indexed8.ras", "bilevel.ras", "encoded.ras", "bild-\xC3\xA4\xC3\xB6.ras"}, 0,
       "indexed8.ras: ok, 5 x 3, 8 bits\nbilevel.ras: ok, 9 x 2, 1 bits\n"
       "encoded.ras: ok, 7 x 4, 8 bits\nbild-\xC3\xA4\xC3\xB6.ras: ok, 2 x 2, 8 bits\n", {}},
      // Data ending after more than half of the rows still gives an image, with a warning.
      {{"check", "late.ras", "early.ras", "foreign.ras", "gone.ras", "bilevel.ras"}, 1,
       "late.ras: incomplete, 5 x 6, 8 bits\nbilevel.ras: ok, 9 x 2, 1 bits\n",
       {"warning: ", "error: early.ras: The file 'early.ras' ends before its image data",
        "error: foreign.ras: The file 'foreign.ras' is not in a format",
        "error: gone.ras: Cannot open 'gone.ras'"}},
      {{"check", "late.ras"}, 1, "late.ras: incomplete, 5 x 6, 8 bits\n", {"warning: "}},
      {{"--max-pixels", "99", "check", "ten.ras"}, 1, "", {"error: ten.ras: "}},
      {{"--max-pixels=100", "check", "ten.ras"}, 0, "ten.ras: ok, 10 x 10, 8 bits\n", {}},
      {{"--max-pixels", "0", "--quiet", "check", "ten.ras"}, 0, "ten.ras: ok, 10 x 10, 8 bits\n",
       {}},
      {{"convert", "early.ras", "new.png"}, 1, "", {"error: early.ras: "}},
      {{"convert", "early.ras", "old.ras"}, 1, "", {"error: early.ras: "}},
      {{"convert", "cut.png", "new.ras"}, 1, "", {"error: cut.png: cannot read this PNG file"}},
      {{"--max-pixels", "1000", "convert", "big.png", "old.ras"}, 1, "", {"error: big.png: "}},
      {{"--max-pixels", "0", "convert", "inflated.png", "new.ras"}, 1, "",
       {"error: inflated.png: the PNG claims 100000 x 100000 pixels"}},
      {{"convert", "big.png", "no-folder/new.png"}, 1, "", {"error: no-folder/new.png: "}},
      {{"convert", "big.png", "no-folder/new.ras"}, 1, "", {"error: no-folder/new.ras: "}},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    SCOPED_TRACE(::testing::PrintToString(c.args) + "\nstdout:\n" + r.out + "stderr:\n" + r.err);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(c.prefix ? r.out.substr(0, c.out.size()) : r.out, c.out);
    Strings err = c.err;
    if (c.status == 2) err.push_back("usage: qxhost");
    EXPECT_TRUE(!err.empty() || r.err.empty());
    for (const std::string& line : err) {
      EXPECT_NE(("\n" + r.err).find("\n" + line), std::string::npos) << line;
    }
  }
  EXPECT_EQ(dir.List(), before);
  EXPECT_EQ(vemra::test::ReadFile(dir / "old.ras"), Bytes({'o', 'l', 'd'}));
}

struct RasterCase {
  const char* name;
  std::uint32_t width, height, depth, type;
  bool withMap;
  int pngType, pngDepth;
};
void PrintTo(const RasterCase& c, std::ostream* os) { *os << c.name; }

class RasterToPng : public Cli, public ::testing::WithParamInterface<RasterCase> {};

// To PNG and to a standard Sun raster file, both with the reader's rows.
TEST_P(RasterToPng, MatchesTheReadersRows) {
  const RasterCase& c = GetParam();
  Put("in.ras", Raster(c.width, c.height, c.depth, c.type, c.withMap));
  ASSERT_EQ(Run({"convert", "in.ras", "out.png"}).status, 0);
  const Bytes png = vemra::test::ReadFile(dir / "out.png");
  ASSERT_GT(png.size(), 25u);
  EXPECT_EQ(png[25], c.pngType);  // the header's colour type and bit depth
  EXPECT_EQ(png[24], c.pngDepth);
  ExpectSameImage(DecodeRgb(dir / "out.png"), ReaderRgb(dir / "in.ras"));
  ASSERT_EQ(Run({"convert", "in.ras", "out.sun"}).status, 0);
  EXPECT_EQ(vemra::test::ReadFile(dir / "out.sun").at(23), vemra::kTypeStandard);
  ExpectSameImage(ReaderRgb(dir / "out.sun"), ReaderRgb(dir / "in.ras"));
}

INSTANTIATE_TEST_SUITE_P(Depths, RasterToPng,
                         ::testing::Values(RasterCase{"bilevel", 9, 3, 1, 1, false, kPalette, 1},
                                           RasterCase{"indexed4", 9, 3, 4, 1, true, kPalette, 4},
                                           RasterCase{"indexed8", 5, 3, 8, 1, true, kPalette, 8},
                                           RasterCase{"encoded8", 7, 4, 8, 2, true, kPalette, 8},
                                           RasterCase{"encoded24", 6, 3, 24, 2, false, kRgb, 8},
                                           RasterCase{"bgr24", 5, 3, 24, 1, false, kRgb, 8},
                                           RasterCase{"pad32", 3, 2, 32, 1, false, kRgb, 8}),
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

// The real-world files against their references. 32bpp.ras stores each pixel as B,G,R,pad
// where the format puts the pad byte first; read the format's way, its bytes become
// pad,B',G',R' = B,G,R,0, so the converted image shows red 0, green R and blue G.
TEST_F(Cli, CorpusMatchesItsReferences) {
  const fs::path corpus = vemra::test::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus at " << VEMRA_CORPUS_DIR;
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    const fs::path raster = entry.path();
    const fs::path reference = fs::path(raster).replace_extension(".png");
    if (raster.extension() == ".png" || !fs::exists(reference)) continue;
    SCOPED_TRACE(raster.filename().string());
    ASSERT_EQ(Run({"--quiet", "convert", raster.string(), "out.png"}).status, 0);
    Rgb expected = DecodeRgb(reference);
    const bool shifted = raster.filename() == "32bpp.ras";
    for (std::size_t i = 0; shifted && i < expected.pixels.size(); i += 3) {
      expected.pixels[i + 2] = expected.pixels[i + 1];
      expected.pixels[i + 1] = expected.pixels[i];
      expected.pixels[i] = 0;
    }
    ExpectSameImage(DecodeRgb(dir / "out.png"), expected);
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace qxhost::test
