// What the PNG and PNM import fuzz targets check alike, as a host drives a filter: the probe
// answers as the target says it must; the file information has the format's entries, or is the
// host's error that the target takes as a refusal, saying why; the import hands over one image,
// as the information described it, within the pixel limit, its progress ended in order, or
// refuses the file for the reason the information gave, or is over the pixel limit.
#pragma once

#include <utility>

#include "support.h"

namespace vemra::test {

constexpr std::uint64_t kFuzzMaxPixels = 1u << 22;  // larger images are the host's refusal

// The information (no entries when refused) and the warnings of the image imported, -1 for none.
template <class ImportFilter>
std::pair<qxio::ImportFileInfo, int> CheckImport(const std::wstring& path, bool probe,
                                                 std::size_t entries,
                                                 bool (*refusal)(const utl::CError&)) {
  TestManager manager;
  manager.SetMaxPixels(kFuzzMaxPixels);
  ImportFilter filter(manager);
  Require(filter.CanImportFile(path) == probe, "the probe answers by the file's first bytes");
  qxio::ImportFileInfo info;
  const auto refused = Raised([&] { info = filter.GetImportFileInfo(0, path); });
  Require(refused ? refusal(*refused) : probe && info.m_entries.size() == entries,
          "the format's entries, or the host's error with the reason");
  const int width = refused ? 0 : Entry<int>(info, L"Image Width");
  const int height = refused ? 0 : Entry<int>(info, L"Image Height");
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
  Require(refused || pixels > 0, "a described file has pixels");

  const Imported imported = Import(filter, manager, path);
  Require(imported.images == (imported.error ? 0u : 1u) && manager.openProgress == 0 &&
              imported.proportionsInOrder,
          "one image or the host's error; the progress ended, in order");
  if (imported.error) {
    const utl::CError& error = *imported.error;
    Require(refusal(error) || (error.Kind() == utl::ErrorKind::ImageTooLarge && !refused &&
                               pixels > kFuzzMaxPixels),
            "a file that does not import is refused, saying why, or over the pixel limit");
    Require(!refused || error.Reason() == refused->Reason(),
            "the import refuses a file for the reason its information did");
    return {std::move(info), -1};
  }
  const qxio::TrImage& image = *imported.image;
  Require(
      !refused && image.GetWidth() == width && image.GetHeight() == height &&
          utl::BitsPerPixel(image.GetColorFormat()) == Entry<int>(info, L"Image Bits Per Pixel") &&
          pixels <= kFuzzMaxPixels,
      "an imported file is as its information described it, within the pixel limit");
  return {std::move(info), imported.warnings};
}

}  // namespace vemra::test
