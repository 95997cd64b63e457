// The floor of reading a PNG, for bench/pngcompare: a PNG file's image data (its IDAT chunks'
// data laid end to end) inflated by libdeflate in one call, nothing else.
//   vemra_inflatefloor FILE.png
// Prints the inflated bytes and the seconds of the inflate call alone, into memory touched before;
// its process's time is the least that a program reading the file whole and inflating its image
// data takes.
#include <libdeflate.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

std::uint32_t Be32(const unsigned char* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vemra_inflatefloor FILE.png\n");
    return 2;
  }
  std::vector<unsigned char> file;
  if (std::FILE* in = std::fopen(argv[1], "rb")) {
    std::fseek(in, 0, SEEK_END);
    file.resize(static_cast<std::size_t>(std::max(0L, std::ftell(in))));
    std::rewind(in);
    file.resize(std::fread(file.data(), 1, file.size(), in));
    std::fclose(in);
  }
  if (file.size() < 33) {
    std::fprintf(stderr, "vemra_inflatefloor: %s: not a PNG file\n", argv[1]);
    return 1;
  }
  const std::uint64_t width = Be32(&file[16]), height = Be32(&file[20]);
  const int depth = file[24], colorType = file[25];
  const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
  const std::size_t rows = height * ((width * channels * depth + 7) / 8 + 1);
  std::vector<unsigned char> data;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::uint32_t length = Be32(&file[at]);
    if (at + 12 + length > file.size()) break;
    if (std::equal(&file[at + 4], &file[at + 8], "IDAT")) {
      data.insert(data.end(), &file[at + 8], &file[at + 8 + length]);
    }
    at += 12 + std::size_t{length};
  }
  std::vector<unsigned char> out(rows);
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  const auto start = std::chrono::steady_clock::now();
  const libdeflate_result result = libdeflate_zlib_decompress(inflater, data.data(), data.size(),
                                                              out.data(), out.size(), nullptr);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  libdeflate_free_decompressor(inflater);
  if (result != LIBDEFLATE_SUCCESS) {
    std::fprintf(stderr, "vemra_inflatefloor: %s: the image data does not inflate\n", argv[1]);
    return 1;
  }
  std::printf("%zu bytes in %.4f s\n", out.size(), seconds);
  return 0;
}
