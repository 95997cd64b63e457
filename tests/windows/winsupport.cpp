#include "winsupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vemra::wintest {

namespace fs = std::filesystem;

fs::path BinaryFolder() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) throw std::runtime_error("GetModuleFileNameW failed");
  buffer.resize(n);
  return fs::path(buffer).parent_path();
}

std::wstring PluginPath() { return (BinaryFolder() / L"vemra.dll").wstring(); }

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 1000; ++attempt) {
    fs::path candidate = base / (L"vemra-win-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(counter++));
    if (fs::create_directory(candidate)) {
      m_path = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write a test file");
}

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read a test file");
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes SmallRaster(int width, int height) {
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 1) & ~1u;
  Bytes bytes;
  const auto put32 = [&](std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
      bytes.push_back(static_cast<std::uint8_t>(v >> shift));
  };
  put32(0x59a66a95);  // magic
  put32(static_cast<std::uint32_t>(width));
  put32(static_cast<std::uint32_t>(height));
  put32(24);  // depth
  put32(rowBytes * static_cast<std::uint32_t>(height));
  put32(1);  // standard type
  put32(0);  // no colour map
  put32(0);
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < width * 3; ++i)
      bytes.push_back(static_cast<std::uint8_t>(y * 53 + i * 7 + 1));
    if (width * 3 % 2) bytes.push_back(0);
  }
  return bytes;
}

}  // namespace vemra::wintest
