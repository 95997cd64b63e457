// The benchmarks' temporary folder and the large files in it, made on first use and removed
// when the program ends.
#pragma once

#include <cstdint>
#include <string>

#include "benchfiles.h"

namespace vemra::bench {

struct BenchFile {
  std::string path;
  std::wstring widePath;
  std::uint64_t bytes = 0;  // size of the file
};

// The file for shape, written the first time it is asked for.
const BenchFile& GetBenchFile(const FileShape& shape);
// A path in the folder for output files.
std::string OutputPath(const std::string& name);

}  // namespace vemra::bench
