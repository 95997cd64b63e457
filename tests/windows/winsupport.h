// Helpers of the Windows tests: where the built binaries are, and a folder for files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vemra::wintest {

using Bytes = std::vector<std::uint8_t>;

// The folder of the running program, where the build puts every binary.
std::filesystem::path BinaryFolder();
std::wstring PluginPath();

// A new folder under the system's temporary folder, removed with its contents.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::wstring operator/(const std::wstring& name) const { return (m_path / name).wstring(); }

private:
  std::filesystem::path m_path;
};

void WriteAll(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadAll(const std::filesystem::path& path);

// A standard (uncompressed) 24-bit Sun raster file without colour map, as the export
// filter writes it: rows of varied bytes, padded to even lengths with zeros.
Bytes SmallRaster(int width = 2, int height = 2);

}  // namespace vemra::wintest
