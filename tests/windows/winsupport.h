// Helpers of the Windows tests: where the built binaries are, a folder for files, test files.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace vemra::wintest {

using Bytes = std::vector<std::uint8_t>;

// The folder of the running program, where the build puts every binary.
inline std::filesystem::path BinaryFolder() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) throw std::runtime_error("GetModuleFileNameW failed");
  return std::filesystem::path(buffer.substr(0, n)).parent_path();
}

inline std::wstring PluginPath() { return (BinaryFolder() / L"vemra.dll").wstring(); }

// A new folder under the system's temporary folder, removed with its contents.
class TempFolder {
public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const std::wstring prefix = L"vemra-win-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    do {
      m_path = std::filesystem::temp_directory_path() / (prefix + std::to_wstring(counter++));
    } while (!std::filesystem::create_directory(m_path));
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::wstring operator/(const std::wstring& name) const { return (m_path / name).wstring(); }

private:
  std::filesystem::path m_path;
};

inline void WriteAll(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write a test file");
}

inline Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read a test file");
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A standard (uncompressed) 24-bit Sun raster file without colour map, as the export filter
// writes it: rows of varied bytes, padded to even lengths with zeros.
inline Bytes SmallRaster(int width = 2, int height = 2) {
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 1) & ~1u;
  Bytes bytes;
  for (std::uint32_t word : {0x59a66a95u, std::uint32_t(width), std::uint32_t(height), 24u,
                             rowBytes * std::uint32_t(height), 1u, 0u, 0u}) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(std::uint8_t(word >> shift));
  }
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < width * 3; ++i) bytes.push_back(std::uint8_t(y * 53 + i * 7 + 1));
    if (width * 3 % 2) bytes.push_back(0);
  }
  return bytes;
}

}  // namespace vemra::wintest
