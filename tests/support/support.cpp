#include "support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

#include "pixcv/convert.h"
#include "sunexportfilter.h"
#include "sunimportfilter.h"
#include "utl/text.h"

namespace vemra::test {

fs::path DataDir() {
  return VEMRA_TEST_DATA;
}

fs::path CorpusDir() {
  std::error_code ec;
  return fs::is_directory(VEMRA_CORPUS_DIR, ec) ? fs::path(VEMRA_CORPUS_DIR) : fs::path();
}

std::vector<std::vector<std::string>> Table(const std::string& name) {
  std::ifstream in(DataDir() / name);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    for (std::size_t at; (at = line.find("\\n")) != std::string::npos;) line.replace(at, 2, "\n");
    auto& row = rows.emplace_back();
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
      row.push_back(line.substr(at, (end = line.find('|', at)) - at));
    }
  }
  if (rows.empty()) throw std::runtime_error("no rows in tests/data/" + name);
  return rows;
}

std::vector<fs::path> FilesIn(const fs::path& folder, std::initializer_list<const char*> wanted) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    for (const char* extension : wanted) {
      if (entry.path().extension() == extension) files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TempDir::TempDir(const fs::path& under) {
  static const std::string tag = std::to_string(std::random_device{}() % 1000000);
  static std::atomic<int> counter{0};
  do {
    m_path = under / ("vemra-test-" + tag + "-" + std::to_string(counter++));
  } while (!fs::create_directory(m_path));
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::List() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(m_path)) {
    names.push_back(entry.path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring Wide(const fs::path& path) {
  return utl::FromUtf8(path.u8string());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Be32(const Bytes& bytes, std::size_t offset) {
  std::uint32_t word = 0;
  for (auto i = offset; i < offset + 4; ++i) word = word << 8 | (i < bytes.size() ? bytes[i] : 0);
  return word;
}

Bytes FromHex(const std::string& text) {
  Bytes bytes;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    for (std::size_t i = 0; i + 1 < word.size(); i += 2) {
      bytes.push_back(std::uint8_t(std::stoi(word.substr(i, 2), nullptr, 16)));
    }
  }
  return bytes;
}

utl::ColorFormat ColorFormatNamed(const std::string& name) {
  static const char* const kNames[] = {"",       "Gray1",    "Gray4",    "Gray8",    "BGR555",
                                       "BGR565", "Indexed1", "Indexed4", "Indexed8", "BGR24",
                                       "BGRA32", "RGB24",    "Gray16"};
  const auto found =
      std::find(std::begin(kNames), std::end(kNames), name.substr(0, name.find(' ')));
  return found == std::end(kNames) ? utl::ColorFormatUnknown
                                   : utl::ColorFormat(found - std::begin(kNames));
}

void TestManager::OnObjectImported(qxio::TrBase& object) {
  if (object.GetTypeId() != qxio::TrImage::GetClassTypeId()) return;
  images.push_back(std::make_unique<qxio::TrImage>(std::move(static_cast<qxio::TrImage&>(object))));
}

Imported Import(qxio::IoImportFilter& filter, TestManager& manager, const std::wstring& path) {
  Imported result;
  const int warnings = manager.warnings;
  manager.images.clear();
  result.error = Raised([&] { filter.ImportFromFile(path); });
  result.warnings = manager.warnings - warnings;
  result.images = manager.images.size();
  result.progressInOrder = manager.progressInOrder && (result.error || manager.proportion == 1);
  if (!manager.images.empty()) result.image = std::move(manager.images.back());
  return result;
}

Imported Import(const fs::path& path, std::uint64_t maxPixels) {
  TestManager manager;
  if (maxPixels) manager.SetMaxPixels(maxPixels);
  SunImportFilter filter(manager);
  return Import(filter, manager, Wide(path));
}

bool Export(qxio::IoExportFilter& filter, const TestManager& manager, qxio::TrImage& image,
            const std::wstring& path, const std::wstring& options) {
  if (!options.empty() && !filter.SetOptionsFromString(options)) return false;
  filter.BeginExport(path);
  const bool taken = filter.ExportObject(image) == qxio::ExportDone;
  return filter.EndExport() == qxio::ExportDone && taken && manager.progressInOrder &&
         manager.proportion == 1 && manager.openProgress == 0;
}

bool Export(qxio::TrImage& image, const std::wstring& path, const std::wstring& options) {
  TestManager manager;
  SunExportFilter filter(manager);
  return Export(filter, manager, image, path, options);
}

std::optional<utl::CError> Raised(const std::function<void()>& work) {
  try {
    work();
  } catch (const utl::CError& error) {
    return error;
  }
  return std::nullopt;
}

bool Describes(const qxio::IoFilter& filter, const std::u16string& module, qxio::FilterKind kind) {
  const qxio::FilterDescriptor& record = *filter.GetFilterDescriptor();
  return std::string(record.marker) == "$QXIO_FILT$" && record.recordSize == 100 &&
         record.moduleName == module && record.kind == std::uint32_t(kind);
}

qxio::TrImage TestImage(utl::ColorFormat format, int width, int height) {
  RGBQUAD table[256];
  for (int i = 0; i < 256; ++i) {
    table[i] = {std::uint8_t(i * 7 + 3), std::uint8_t(i * 13), std::uint8_t(~i), 0};
  }
  qxio::TrImage image;
  image.SetScanlineStart(width, height, format, 0, 0, table, qxio::RowAccessByIndex, 256, nullptr);
  Bytes row(image.RowBytes());
  for (int y = 0; y < height && !row.empty(); ++y) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      row[i] = std::uint8_t(y * 89 + i * 37 + (y ^ i) * 11);
    }
    image.SetScanline(row.data(), y);
  }
  return image;
}

fs::path MemoryFolder() {
  std::error_code ec;
  return fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

fs::path ScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  static const TempDir scratch(MemoryFolder());
  WriteFile(scratch / name, Bytes(data, data + size));
  return scratch / name;
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

Rgb ImageRgb(const qxio::TrImage& image) {
  Rgb rgb{image.GetWidth(), image.GetHeight(), {}};
  RGBQUAD table[256];
  image.GetColorTable(table, 0, 256);
  Bytes bgr(rgb.height > 0 ? static_cast<std::size_t>(rgb.width) * 3 : 0);  // rows or nothing
  for (int y = 0; y < rgb.height; ++y) {
    if (!pixcv::SimplePixelConvert(rgb.width, image.Row(y), image.GetColorFormat(), bgr.data(),
                                   utl::BGR24, 0, table, false)) {
      return {};
    }
    for (std::size_t i = 0; i < bgr.size(); i += 3) {
      rgb.pixels.insert(rgb.pixels.end(), {bgr[i + 2], bgr[i + 1], bgr[i]});
    }
  }
  return rgb;
}

}  // namespace vemra::test
