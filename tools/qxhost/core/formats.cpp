#include "core/formats.h"

#include <algorithm>
#include <cstdint>

#include "core/pluginloader.h"
#include "pixcv/pixels.h"
#include "pnmexportfilter.h"
#include "pnmimportfilter.h"
#include "utl/path.h"
#include "utl/text.h"
#if defined(QXHOST_HAVE_PNG)
#include "pngexportfilter.h"
#include "pngimportfilter.h"
#endif

namespace qxhost {

namespace {

// The two entries of a 1-bit image's map as the plug-in writes them: missing ones are black.
bool IsBlackAndWhite(const qxio::TrImage& image) {
  RGBQUAD map[2] = {};
  image.GetColorTable(map, 0, static_cast<int>(std::min(image.GetNumColorTableEntriesUsed(), 2u)));
  return (pixcv::IsGreyLevel(map[0], 0) && pixcv::IsGreyLevel(map[1], 255)) ||
         (pixcv::IsGreyLevel(map[0], 255) && pixcv::IsGreyLevel(map[1], 0));
}

// A two-colour image other than black and white goes out at 8 bits with its map: many readers
// swap the two colours of a 1-bit file's map or refuse it, while all of them read 8-bit maps.
void WidenTwoColours(qxio::TrImage& image) {
  if (image.GetColorFormat() != utl::Indexed1 || IsBlackAndWhite(image)) return;
  RGBQUAD table[2] = {};
  const unsigned entries = std::min(image.GetNumColorTableEntriesUsed(), 2u);
  image.GetColorTable(table, 0, static_cast<int>(entries));
  qxio::TrImage wide;
  wide.SetScanlineStart(image.GetWidth(), image.GetHeight(), utl::Indexed8, 0, 0, table,
                        qxio::RowAccessByIndex, entries, nullptr);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(image.GetWidth()));
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (std::size_t x = 0; x < row.size(); ++x) {
      row[x] = static_cast<std::uint8_t>(pixcv::PackedSample(image.Row(y), x, 1));
    }
    wide.SetScanline(row.data(), y);
  }
  wide.SetScanlineEnd(nullptr, 0);
  image = std::move(wide);
}

std::vector<Format> BuildTable() {
  std::vector<Format> formats;
  formats.push_back({"Sun raster",
                     L"ras",
                     {L"ras", L"sun", L"im1", L"rs"},
                     L"Compression=RLE",
                     [](const Plugin& plugin, qxio::IoManager& manager) {
                       return plugin.CreateImportFilter(manager);
                     },
                     [](const Plugin& plugin, qxio::IoManager& manager) {
                       return plugin.CreateExportFilter(manager);
                     },
                     WidenTwoColours});
  formats.push_back({"PNM",
                     L"pnm",
                     {L"pnm", L"pbm", L"pgm", L"ppm"},
                     nullptr,
                     [](const Plugin&, qxio::IoManager& manager) {
                       return std::unique_ptr<qxio::IoImportFilter>(
                           std::make_unique<pnmio::PnmImportFilter>(manager));
                     },
                     [](const Plugin&, qxio::IoManager& manager) {
                       return std::unique_ptr<qxio::IoExportFilter>(
                           std::make_unique<pnmio::PnmExportFilter>(manager));
                     },
                     nullptr});
#if defined(QXHOST_HAVE_PNG)
  formats.push_back({"PNG",
                     L"png",
                     {L"png"},
                     nullptr,
                     [](const Plugin&, qxio::IoManager& manager) {
                       return std::unique_ptr<qxio::IoImportFilter>(
                           std::make_unique<pngio::PngImportFilter>(manager));
                     },
                     [](const Plugin&, qxio::IoManager& manager) {
                       return std::unique_ptr<qxio::IoExportFilter>(
                           std::make_unique<pngio::PngExportFilter>(manager));
                     },
                     nullptr});
#endif
  return formats;
}

// "a, b or c".
std::string Choices(const std::vector<std::wstring>& words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + utl::ToUtf8(words[i]);
  }
  return text;
}

}  // namespace

const std::vector<Format>& Formats() {
  static const std::vector<Format> formats = BuildTable();
  return formats;
}

const Format* FormatOfWord(const std::wstring& word) {
  for (const Format& format : Formats()) {
    if (utl::LowerCase(word) == format.word) return &format;
  }
  return nullptr;
}

const Format* FormatOfName(const std::wstring& path) {
  const std::wstring extension = utl::LowerCase(utl::CPath(path).GetExtension());
  for (const Format& format : Formats()) {
    const auto& known = format.extensions;
    if (std::find(known.begin(), known.end(), extension) != known.end()) return &format;
  }
  return nullptr;
}

// PNG first, as people name the formats.
std::string FormatWords(const std::wstring& before) {
  std::vector<std::wstring> words;
  for (const Format& format : Formats()) words.insert(words.begin(), before + format.word);
  return Choices(words);
}

std::string FormatExtensions() {
  std::vector<std::wstring> extensions;
  for (auto format = Formats().rbegin(); format != Formats().rend(); ++format) {
    for (const std::wstring& extension : format->extensions) extensions.push_back(L"." + extension);
  }
  return Choices(extensions);
}

}  // namespace qxhost
