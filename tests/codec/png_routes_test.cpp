// The PNG decoder's two ways through the image data, libpng's row by row and the direct one
// (libdeflate, pngrows.h), give the same image on random rows of every filter type, kind and width
// (data past zlib's largest window too), each taken by the direct way, past a text chunk after
// them; each version of the row code does the portable one's. (The import fuzz target: both ways.)

#include <zlib.h>

#include <fstream>
#include <random>

#include "pngfiles.h"
#include "pngrows.h"
#include "testsupport.h"

namespace vemra::test {
namespace {

using pngio::Isa;
using pngio::Route;

// A chunk whose CRC WithChunkCrcs makes right.
void PutChunk(Bytes& file, const char* type, const Bytes& data) {
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(std::uint8_t(data.size() >> shift));
  file.insert(file.end(), type, type + 4);
  file.insert(file.end(), data.begin(), data.end());
  file.insert(file.end(), 4, 0);
}

// A PNG whose rows are random bytes under each filter type in turn (any bytes are a sound
// filtered row); a palette image has a random number of colours and, with trns, of alphas.
Bytes RandomPng(std::mt19937& random, int colorType, int depth, std::uint32_t width, bool trns) {
  constexpr std::uint32_t kHeight = 7;
  const auto byte = [&] { return std::uint8_t(random()); };
  Bytes file = {137, 80, 78, 71, 13, 10, 26, 10}, header(13);
  for (int i = 0; i < 4; ++i) header[i] = std::uint8_t(width >> (24 - 8 * i));
  header[7] = kHeight, header[8] = std::uint8_t(depth), header[9] = std::uint8_t(colorType);
  PutChunk(file, "IHDR", header);
  if (colorType == 3) {
    Bytes palette(3 * (1 + random() % (1u << depth)));
    std::generate(palette.begin(), palette.end(), byte);
    PutChunk(file, "PLTE", palette);
    if (trns) {
      Bytes alpha(1 + random() % (palette.size() / 3));
      std::generate(alpha.begin(), alpha.end(), byte);
      PutChunk(file, "tRNS", alpha);
    }
  }
  const int channels = colorType == 2 ? 3 : colorType == 6 ? 4 : 1;
  const std::size_t rowBytes = (std::size_t{width} * channels * depth + 7) / 8;
  Bytes rows((rowBytes + 1) * kHeight);
  std::generate(rows.begin(), rows.end(), byte);
  for (std::uint32_t y = 0; y < kHeight; ++y)
    rows[y * (rowBytes + 1)] = std::uint8_t((y + width) % 5);
  Bytes deflated(compressBound(rows.size()));
  uLongf size = deflated.size();
  compress(deflated.data(), &size, rows.data(), rows.size());
  deflated.resize(size);
  PutChunk(file, "IDAT", deflated);
  PutChunk(file, "tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'});
  PutChunk(file, "IEND", {});
  return WithChunkCrcs(file);
}

TEST(PngRoutes, RandomRowsOfEveryFilterKindAndWidth) {
  struct Kind {
    int colorType, depth;
    bool trns;
  };
  const Kind kinds[] = {{0, 1, false}, {0, 2, false},  {0, 4, false}, {0, 8, false}, {0, 16, false},
                        {3, 1, false}, {3, 2, true},   {3, 4, false}, {3, 8, false}, {3, 8, true},
                        {2, 8, false}, {2, 16, false}, {6, 8, false}, {6, 16, false}};
  std::mt19937 random(2024);
  TempDir dir;
  for (const Kind& kind : kinds) {
    for (std::uint32_t width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, 17, 31, 33, 64, 1001}) {
      SCOPED_TRACE("colour type " + std::to_string(kind.colorType) + ", depth " +
                   std::to_string(kind.depth) + ", width " + std::to_string(width));
      WriteFile(dir / "random.png",
                RandomPng(random, kind.colorType, kind.depth, width, kind.trns));
      const Decoded libpng = DecodeBy(Route::Libpng, dir.Wide("random.png"));
      const Decoded direct = DecodeBy(Route::Direct, dir.Wide("random.png"));
      ASSERT_TRUE(libpng.image && direct.image) << libpng.error << direct.error;
      EXPECT_TRUE(SameImage(*direct.image, *libpng.image));
    }
  }
}

// Each version that this processor runs against the portable one, on random rows of every pixel
// size that a PNG has and lengths around each version's steps.
TEST(PngRows, EveryVersionAsThePortableOne) {
  std::ifstream cpuinfo("/proc/cpuinfo");
  const std::string flags((std::istreambuf_iterator<char>(cpuinfo)), {});
  if (!flags.empty()) {
    EXPECT_EQ(pngio::Runs(Isa::Avx2), flags.find(" avx2") != std::string::npos);
    EXPECT_EQ(pngio::Runs(Isa::Sse2), flags.find(" sse2") != std::string::npos);
  }
  EXPECT_TRUE(pngio::Runs(pngio::BestIsa()) && pngio::Runs(Isa::Portable));
  std::mt19937 random(7);
  const auto randomBytes = [&](std::size_t n) {
    Bytes bytes(n);
    for (auto& b : bytes) b = std::uint8_t(random());
    return bytes;
  };
  for (const Isa isa : {Isa::Sse2, Isa::Avx2}) {
    if (!pngio::Runs(isa)) continue;
    EXPECT_GE(pngio::BestIsa(), isa);
    for (const unsigned bpp : {1u, 2u, 3u, 4u, 6u, 8u}) {
      for (std::size_t pixels = 1; pixels <= 40; ++pixels) {
        const Bytes prior = randomBytes(bpp * pixels), row = randomBytes(bpp * pixels);
        for (int type = 0; type < 5; ++type) {
          Bytes got = row, wanted = row;
          pngio::Unfilter(isa, type, got.data(), prior.data(), got.size(), bpp);
          pngio::Unfilter(Isa::Portable, type, wanted.data(), prior.data(), wanted.size(), bpp);
          ASSERT_EQ(got, wanted) << "ISA " << int(isa) << ", filter " << type << ", " << bpp
                                 << " bytes a pixel, " << pixels << " pixels";
        }
      }
    }
    for (const unsigned channels : {3u, 4u}) {
      for (std::size_t pixels = 0; pixels <= 40; ++pixels) {
        const Bytes in = randomBytes(channels * pixels);
        Bytes got(in.size()), wanted(in.size());
        pngio::SwapRedBlue(isa, in.data(), got.data(), pixels, channels);
        pngio::SwapRedBlue(Isa::Portable, in.data(), wanted.data(), pixels, channels);
        ASSERT_EQ(got, wanted) << "ISA " << int(isa) << ", " << channels << " channels, " << pixels;
      }
    }
  }
}

}  // namespace
}  // namespace vemra::test
