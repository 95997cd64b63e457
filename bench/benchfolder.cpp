#include "benchfolder.h"

#include <filesystem>
#include <map>
#include <system_error>
#include <tuple>

#include "utl/text.h"

#if defined(_WIN32)
#include <process.h>
#define VEMRA_GETPID _getpid
#else
#include <unistd.h>
#define VEMRA_GETPID getpid
#endif

namespace vemra::bench {

namespace {

namespace fs = std::filesystem;

class Folder {
public:
  Folder() {
    m_path = fs::temp_directory_path() / ("vemra-bench-" + std::to_string(VEMRA_GETPID()));
    fs::create_directories(m_path);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const fs::path& Path() const { return m_path; }

private:
  fs::path m_path;
};

Folder& TheFolder() {
  static Folder folder;
  return folder;
}

}  // namespace

const BenchFile& GetBenchFile(const FileShape& shape) {
  using Key = std::tuple<int, int, int, int>;
  static std::map<Key, BenchFile> files;
  const Key key{shape.width, shape.height, shape.depth, static_cast<int>(shape.content)};
  auto found = files.find(key);
  if (found != files.end()) return found->second;

  BenchFile file;
  const std::string name = std::to_string(shape.width) + "x" + std::to_string(shape.height) + "-" +
                           std::to_string(shape.depth) + "-" + ContentName(shape.content) + ".ras";
  file.path = (TheFolder().Path() / name).string();
  file.widePath = utl::FromUtf8(file.path);
  file.bytes = WriteBenchFile(file.path, shape);
  return files.emplace(key, std::move(file)).first->second;
}

std::string OutputPath(const std::string& name) {
  return (TheFolder().Path() / name).string();
}

}  // namespace vemra::bench
