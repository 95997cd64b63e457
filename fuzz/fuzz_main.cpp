// The plain driver: runs a fuzz target once on each file named on the command line, and on
// each file of each folder named there, without libFuzzer. A target that finds a fault
// aborts, so getting to the end means every input passed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

bool Collect(const fs::path& arg, std::vector<fs::path>& inputs) {
  std::error_code ec;
  if (fs::is_regular_file(arg, ec)) {
    inputs.push_back(arg);
    return true;
  }
  if (!fs::is_directory(arg, ec)) return false;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(arg, ec)) {
    if (entry.is_regular_file(ec)) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  inputs.insert(inputs.end(), files.begin(), files.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
    return 2;
  }
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!Collect(argv[i], inputs)) {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no input files found\n");
    return 2;
  }
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    if (!in.eof() && in.fail()) {
      std::fprintf(stderr, "%s: cannot read\n", input.string().c_str());
      return 2;
    }
    // A crash inside the target leaves this line as the name of the input that caused it.
    std::fprintf(stderr, "running %s (%zu bytes)\n", input.string().c_str(), bytes.size());
    std::fflush(stderr);
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu passed, 0 failed\n", inputs.size());
  return 0;
}
