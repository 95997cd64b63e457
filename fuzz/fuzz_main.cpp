// The plain driver: runs a fuzz target once on each file named on the command line, and on
// each file of each folder named there, without libFuzzer. A target that finds a fault
// aborts, so getting to the end means every input passed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    const auto first = inputs.size();
    if (fs::is_regular_file(argv[i], ec)) inputs.push_back(argv[i]);
    for (const auto& entry : fs::directory_iterator(argv[i], ec)) {
      if (entry.is_regular_file(ec)) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin() + std::ptrdiff_t(first), inputs.end());
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s FILE|FOLDER... (no input files found)\n", argv[0]);
    return 2;
  }
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    // A crash inside the target leaves this line as the name of the input that caused it.
    std::fprintf(stderr, "running %s (%zu bytes)\n", input.string().c_str(), bytes.size());
    std::fflush(stderr);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu passed, 0 failed\n", inputs.size());
  return 0;
}
