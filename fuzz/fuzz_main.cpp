// The plain driver: runs a fuzz target once on each file named on the command line, and on each
// file of each folder named there, without libFuzzer. A target that finds a fault aborts, so
// getting to the end means every input passed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  std::error_code ec;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_regular_file(argv[i], ec)) inputs.push_back(argv[i]);
    for (const auto& entry : fs::directory_iterator(argv[i], ec)) inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    // After a crash inside the target, this line names the input that caused it.
    std::fprintf(stderr, "running %s (%zu bytes)\n", input.string().c_str(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu passed, 0 failed\n", inputs.size());
  return inputs.empty() ? 2 : 0;
}
