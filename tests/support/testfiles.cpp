#include "testfiles.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <stdexcept>

#include "utl/text.h"

#if defined(_WIN32)
#  include <process.h>
#  define VEMRA_GETPID _getpid
#else
#  include <unistd.h>
#  define VEMRA_GETPID getpid
#endif

namespace vemra::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    fs::path candidate = base / ("vemra-test-" + std::to_string(VEMRA_GETPID()) + "-" +
                                 std::to_string(counter++));
    if (fs::create_directory(candidate)) {
      m_path = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

std::wstring TempDir::Wide(const std::string& name) const { return WidePath(m_path / name); }

std::wstring TempDir::Put(const std::string& name, const Bytes& bytes) const {
  WriteFile(m_path / name, bytes);
  return Wide(name);
}

std::vector<std::string> TempDir::List() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(m_path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring WidePath(const fs::path& path) {
#if defined(_WIN32)
  return path.wstring();
#else
  return utl::FromUtf8(path.string());
#endif
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path CorpusDir() {
  const fs::path dir = VEMRA_CORPUS_DIR;
  std::error_code ec;
  return fs::is_directory(dir, ec) ? dir : fs::path();
}

}  // namespace vemra::test
