#include "sys/paths.h"

#include <filesystem>
#include <system_error>

#include "sys/platform.h"

namespace qxhost {

namespace {

namespace fs = std::filesystem;
using sys::NativePath;

}  // namespace

bool PathExists(const std::wstring& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(NativePath(path), error));
}

bool IsFolder(const std::wstring& path) {
  std::error_code error;
  return fs::is_directory(NativePath(path), error);
}

bool IsDevice(const std::wstring& path) {
  std::error_code error;
  const fs::file_status status = fs::status(NativePath(path), error);
  return fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

bool IsPipe(const std::wstring& path) {
  std::error_code error;
  return fs::is_fifo(NativePath(path), error);
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
  const fs::path pa = NativePath(a);
  const fs::path pb = NativePath(b);
  std::error_code error;
  if (fs::equivalent(pa, pb, error)) return true;
  const fs::path ra = fs::weakly_canonical(pa, error);
  if (error) return false;
  const fs::path rb = fs::weakly_canonical(pb, error);
  return !error && ra == rb;
}

bool MakeFolderOf(const std::wstring& file, std::string& reason) {
  std::error_code error;
  fs::create_directories(NativePath(file).parent_path(), error);
  if (error) reason = "cannot make its folder: " + error.message();
  return !error;
}

}  // namespace qxhost
