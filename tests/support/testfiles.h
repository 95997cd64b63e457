// Files for tests: a temporary folder that cleans up after itself, and whole-file I/O.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vemra::test {

using Bytes = std::vector<std::uint8_t>;

// A new, empty folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
  // The path of a file in the folder as the host's wide string.
  std::wstring Wide(const std::string& name) const;
  // Writes bytes to a file in the folder and returns its wide path.
  std::wstring Put(const std::string& name, const Bytes& bytes) const;
  // Names of the files in the folder, sorted.
  std::vector<std::string> List() const;

private:
  std::filesystem::path m_path;
};

std::wstring WidePath(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

// The folder of real-world samples, or an empty path when it is absent.
std::filesystem::path CorpusDir();

}  // namespace vemra::test
