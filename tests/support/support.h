// What the tests and the fuzz targets share: the data folders, a temporary folder, whole files,
// a manager that keeps what filters hand over, imports and exports, and images as 8-bit RGB.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "qxio/filter.h"
#include "qxio/transport.h"
#include "utl/colorformat.h"
#include "utl/error.h"

namespace vemra::test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path DataDir();    // tests/data
fs::path CorpusDir();  // the shared real-world files, or an empty path when they are absent
// The rows of a table of tests/data, each a list of the fields that '|' separates ("\n" in one
// stands for a line end); empty lines and those starting with '#' are none. Throws without rows.
std::vector<std::vector<std::string>> Table(const std::string& name);
// The files of folder with one of the extensions, sorted.
std::vector<fs::path> FilesIn(const fs::path& folder, std::initializer_list<const char*> wanted);

std::wstring Wide(const fs::path& path);  // the host's wide string for a path

// A new folder, under the system's temporary folder unless told, removed with its contents.
class TempDir {
public:
  explicit TempDir(const fs::path& under = fs::temp_directory_path());
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& Path() const { return m_path; }
  fs::path operator/(const std::string& name) const { return m_path / name; }
  std::wstring Wide(const std::string& name) const { return test::Wide(m_path / name); }
  std::vector<std::string> List() const;  // file names in UTF-8, sorted

private:
  fs::path m_path;
};

void WriteFile(const fs::path& path, const Bytes& bytes);
Bytes ReadFile(const fs::path& path);                        // empty when unreadable
std::uint32_t Be32(const Bytes& bytes, std::size_t offset);  // bytes past the end read as 0
Bytes FromHex(const std::string& text);                      // "0a ff01": words of whole bytes
// A host colour format by its name in utl::ColorFormat ("Gray1", "BGR24"); ColorFormatUnknown
// for another name.
utl::ColorFormat ColorFormatNamed(const std::string& name);  // by the first word of name

// Keeps the images an import filter hands over; counts warnings and progress still open; tells
// whether each progress began as one that shows its proportion and that the user may cancel, and
// its proportions stayed between 0 and 1 and never went back, as a host's progress bar needs them.
class TestManager : public qxio::IoManager {
public:
  std::vector<std::unique_ptr<qxio::TrImage>> images;
  int warnings = 0, openProgress = 0;
  std::vector<utl::ErrorKind> errors;  // told, in order
  bool progressInOrder = true;
  double proportion = 0;             // the last since the progress began
  std::function<void()> onProgress;  // runs on each progress message and proportion
  std::set<std::wstring> options;    // registered as enabled and shown

  void SetOption(const std::wstring& name, bool enabled, bool visible) override {
    if (enabled && visible) options.insert(name);
  }

protected:
  void ProgressStart(const std::wstring&, bool cancellable, bool showProportion) override {
    progressInOrder = progressInOrder && cancellable && showProportion;
    ++openProgress, proportion = 0;
  }
  void ProgressEnd() override { --openProgress; }
  void ProgressMessage(const std::wstring&) override {
    if (onProgress) onProgress();
  }
  void ProgressProportion(double fraction) override {
    progressInOrder = progressInOrder && fraction >= proportion && fraction <= 1;
    proportion = fraction;
    if (onProgress) onProgress();
  }
  int OnWarning(utl::IError::WarnStyle, const std::wstring&) override { return ++warnings, 0; }
  void OnError(const utl::IError& error) override { errors.push_back(error.Kind()); }
  void OnObjectImported(qxio::TrBase& object) override;
};

// How an import ended: the host's error, or the image and the warnings given; images counts
// the images handed over.
struct Imported {
  std::optional<utl::CError> error;
  std::unique_ptr<qxio::TrImage> image;
  int warnings = 0;
  std::size_t images = 0;
  bool progressInOrder = true;  // and up to 1 where it was not refused
};
Imported Import(qxio::IoImportFilter& filter, TestManager& manager, const std::wstring& path);
Imported Import(const fs::path& path, std::uint64_t maxPixels = 0);  // with a new filter
// Exports image as the only object of a transfer with filter (of manager), or a new Sun raster one,
// given the option string if any; true when it is written, its progress in order up to 1 and ended.
bool Export(qxio::IoExportFilter& filter, const TestManager& manager, qxio::TrImage& image,
            const std::wstring& path, const std::wstring& options = L"");
bool Export(qxio::TrImage& image, const std::wstring& path, const std::wstring& options = L"");
// The host's error that work raises, if any.
std::optional<utl::CError> Raised(const std::function<void()>& work);
// An image whose bytes and 256 colour-table entries all differ.
qxio::TrImage TestImage(utl::ColorFormat format, int width, int height);
// Whether filter describes itself with the host's 100-byte record of that module and kind.
bool Describes(const qxio::IoFilter& filter, const std::u16string& module, qxio::FilterKind kind);

// For the fuzz targets: a folder in memory (/dev/shm) where there is one, so that a file written on
// every run costs no disk; the input as a file in a folder of the process's own there, left behind
// after a crash; a check that aborts with a message, so that the fuzzer keeps the input.
fs::path MemoryFolder();
fs::path ScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);
void Require(bool condition, const char* what);
// The entry of the file information under key, which must be there and hold a T.
template <class T>
const T& Entry(const qxio::ImportFileInfo& info, const wchar_t* key) {
  const auto it = info.m_entries.find(key);
  const T* value = it == info.m_entries.end() ? nullptr : boost::any_cast<T>(&it->second);
  Require(value != nullptr, "each entry is there, of its type");
  return *value;
}

// An image as 8-bit RGB, three bytes a pixel.
struct Rgb {
  int width = 0, height = 0;
  Bytes pixels;
};
Rgb ImageRgb(const qxio::TrImage& image);  // through the host's converter and colour table
Rgb LoadPng(const fs::path& path);         // through libpng, where built; empty when unreadable
// The bytes of the PNG file that libpng's writer makes of image at its defaults, where built.
std::size_t LibpngFileSize(const Rgb& image);

}  // namespace vemra::test
