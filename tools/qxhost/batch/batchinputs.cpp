#include "batch/batchinputs.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "core/hostmanager.h"
#include "sys/paths.h"
#include "sys/platform.h"
#include "utl/bufferedfile.h"
#include "utl/error.h"
#include "utl/path.h"
#include "utl/text.h"

namespace qxhost {

namespace {

namespace fs = std::filesystem;
using Reporter = std::function<void(const std::wstring&, const std::string&)>;

constexpr wchar_t kSeparator = fs::path::preferred_separator;

std::string ReadAll(std::FILE* stream) {
  std::string bytes;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) {
    bytes.append(buffer, n);
  }
  return bytes;
}

// The list's bytes; raises the host's error, with the system's reason, when it cannot be read.
std::string ReadList(const std::wstring& list) {
  if (list == kStandardStream) {
    sys::SetBinaryMode(stdin);
    std::string bytes = ReadAll(stdin);
    if (std::ferror(stdin)) throw std::runtime_error("cannot read standard input");
    return bytes;
  }
  utl::CBufferedFile file;
  file.Open(list, "rb", utl::ShareRead, false);
  std::string bytes;
  char buffer[65536];
  for (std::size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  return bytes;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && utl::CPath::IsSeparator(folder.back())) return folder + name;
  return folder + kSeparator + name;
}

class Walker {
public:
  Walker(const Options& options, const std::function<bool(const std::wstring&)>& convertible,
         const Reporter& report, std::vector<BatchInput>& inputs, bool& failed)
      : m_options(options),
        m_convertible(convertible),
        m_report(report),
        m_inputs(inputs),
        m_failed(failed) {}

  // Adds the files below folder whose outputs go to subfolder.
  void Walk(const std::wstring& folder, const std::wstring& subfolder) {
    if (!m_options.outputDir.empty() && SameFile(folder, m_options.outputDir)) return;
    for (const std::wstring& name : SortedNames(folder)) {
      const std::wstring path = Join(folder, name);
      std::error_code error;
      const fs::file_status own = fs::symlink_status(sys::NativePath(path), error);
      if (fs::is_directory(own)) {
        Walk(path, subfolder + name + kSeparator);
      } else if (fs::is_regular_file(fs::status(sys::NativePath(path), error)) &&
                 m_convertible(path)) {
        // Devices and pipes are passed over: reading one could wait forever.
        m_inputs.push_back({path, subfolder});
      }
    }
  }

private:
  std::vector<std::wstring> SortedNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    std::error_code error;
    fs::directory_iterator entries(sys::NativePath(folder), error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
      names.push_back(sys::WidePath(entries->path().filename()));
    }
    if (error) {
      m_report(folder, error.message());
      m_failed = true;
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  const Options& m_options;
  const std::function<bool(const std::wstring&)>& m_convertible;
  const Reporter& m_report;
  std::vector<BatchInput>& m_inputs;
  bool& m_failed;
};

}  // namespace

std::vector<std::wstring> SplitNameList(const std::string& bytes, bool nullSeparated) {
  std::vector<std::wstring> names;
  const char separator = nullSeparated ? '\0' : '\n';
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find(separator, start);
    if (end == std::string::npos) end = bytes.size();
    std::string name = bytes.substr(start, end - start);
#if defined(_WIN32)
    if (!nullSeparated && !name.empty() && name.back() == '\r') name.pop_back();
#endif
    // A list's "-" is a file of that name, not standard input.
    if (name == "-") name = "./-";
    if (!name.empty()) names.push_back(utl::FromUtf8(name));
    start = end + 1;
  }
  return names;
}

std::vector<BatchInput> CollectInputs(const Options& options,
                                      const std::function<bool(const std::wstring&)>& convertible,
                                      const Reporter& report, bool& failed) {
  std::vector<std::wstring> named = options.files;
  if (!options.filesFrom.empty()) {
    try {
      const std::vector<std::wstring> listed =
          SplitNameList(ReadList(options.filesFrom), options.nullSeparated);
      named.insert(named.end(), listed.begin(), listed.end());
    } catch (const utl::IError& error) {
      report(options.filesFrom, DescribeError(error, options.filesFrom));
      failed = true;
    } catch (const std::exception& error) {
      report(options.filesFrom, error.what());
      failed = true;
    }
  }
  std::vector<BatchInput> inputs;
  Walker walker(options, convertible, report, inputs, failed);
  for (const std::wstring& path : named) {
    if (!IsFolder(path)) {
      inputs.push_back({path, L""});
    } else if (options.recursive) {
      walker.Walk(path, L"");
    } else {
      report(path, "a folder: -r converts the files in it");
      failed = true;
    }
  }
  return inputs;
}

}  // namespace qxhost
