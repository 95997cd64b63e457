// Writes one large Sun raster file for bench/compare.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "benchfiles.h"

int main(int argc, char** argv) {
  using namespace vemra::bench;
  FileShape shape;
  if (argc < 4 || argc > 6 || !ParseContent(argv[3], shape.content)) {
    std::fputs("usage: vemra_mkbenchfile OUT DEPTH raw|runs|noise [WIDTH [HEIGHT]]\n", stderr);
    return 2;
  }
  shape.depth = std::atoi(argv[2]);
  shape.width = argc > 4 ? std::atoi(argv[4]) : 8192;
  shape.height = argc > 5 ? std::atoi(argv[5]) : shape.width;
  try {
    const auto bytes = WriteBenchFile(argv[1], shape);
    std::printf("%s: %s, %d x %d, %llu bytes\n", argv[1], Describe(shape).c_str(), shape.width,
                shape.height, static_cast<unsigned long long>(bytes));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vemra_mkbenchfile: %s\n", error.what());
    return 1;
  }
  return 0;
}
