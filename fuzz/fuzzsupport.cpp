#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "utl/text.h"

#if defined(_WIN32)
#  include <process.h>
#  define VEMRA_GETPID _getpid
#else
#  include <unistd.h>
#  define VEMRA_GETPID getpid
#endif

namespace vemra::fuzz {

namespace fs = std::filesystem;

namespace {

// Created on first use; its destructor runs at a normal exit, not after a crash, so a crash
// leaves the input that caused it on disk as well.
struct Scratch {
  Scratch() {
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) ? "/dev/shm" : fs::temp_directory_path();
    path = base / ("vemra-fuzz-" + std::to_string(VEMRA_GETPID()));
    fs::create_directories(path, ec);
    Require(!ec, "cannot create the scratch folder");
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

}  // namespace

const fs::path& ScratchDir() {
  static Scratch scratch;
  return scratch.path;
}

std::wstring Wide(const fs::path& path) {
#if defined(_WIN32)
  return path.wstring();
#else
  return utl::FromUtf8(path.string());
#endif
}

fs::path PutFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const fs::path path = ScratchDir() / name;
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  Require(file != nullptr, "cannot create the input file");
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  Require(std::fclose(file) == 0 && written, "cannot write the input file");
  return path;
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace vemra::fuzz
