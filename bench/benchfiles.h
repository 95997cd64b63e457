// Large Sun raster files for the benchmarks, written by the project's writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vemra::bench {

enum class Content {
  Raw,    // standard type, unencoded rows of a smooth pattern
  Runs,   // run-length encoded, runs of 64 to 2048 equal bytes
  Noise,  // run-length encoded, random bytes: almost every byte a literal
};

struct FileShape {
  int width = 8192;
  int height = 8192;
  int depth = 8;  // 1, 8, 24 or 32; depth 8 carries a colour map
  Content content = Content::Raw;
};

// Parses "raw", "runs" or "noise"; false for anything else.
bool ParseContent(const std::string& word, Content& content);
const char* ContentName(Content content);
// "24-bit raw", for benchmark names and tables.
std::string Describe(const FileShape& shape);

// Row length in the file, padding included.
std::uint64_t FileRowBytes(const FileShape& shape);
// Writes the file; returns its size in bytes. Raises std::runtime_error, or the host's error,
// when writing fails.
std::uint64_t WriteBenchFile(const std::string& path, const FileShape& shape);

// The benchmark image size: 8192 unless VEMRA_BENCH_SIZE sets another (for quick runs).
int BenchImageSize();

// The files the reading benchmarks cover: depths 1, 8, 24 and 32, each raw, with runs and noise.
std::vector<FileShape> ReadShapes(int size);

}  // namespace vemra::bench
