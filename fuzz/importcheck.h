// What the import fuzz targets check alike, as a host drives a filter: the probe answers as the
// target says it must; the file information has the format's entries, none for a file it does not
// describe, or is the host's error that the target takes as a refusal, saying why; the import
// hands over one image, as the information described it, within the pixel limit, its progress
// ended in order, or ends in an error that the target takes as a refusal of such a file (for the
// reason the information gave, if it gave one), or is over the pixel limit. The same filter then
// imports the file again: nothing of the first import, failed or not, may change that.
#pragma once

#include <utility>

#include "support.h"

namespace vemra::test {

constexpr std::uint64_t kFuzzMaxPixels = 1u << 22;  // larger images are the host's refusal

// Whether error is one of a target's refusals, of a file its information described or not.
using Refusal = bool (*)(const utl::CError& error, bool described);

// The information (none for a file not described) and the imported image's warnings (-1: none).
template <class ImportFilter>
std::pair<qxio::ImportFileInfo, int> CheckImport(const std::wstring& path, bool probe,
                                                 std::size_t entries, Refusal refusal) {
  TestManager manager;
  manager.SetMaxPixels(kFuzzMaxPixels);
  ImportFilter filter(manager);
  Require(filter.CanImportFile(path) == probe, "the probe answers by the file's first bytes");
  qxio::ImportFileInfo info;
  const auto refused = Raised([&] { info = filter.GetImportFileInfo(0, path); });
  const bool described = !info.m_entries.empty();
  Require(refused ? refusal(*refused, false) && !described
                  : info.m_entries.size() == (described ? entries : 0),
          "the format's entries, none, or the host's error with the reason");
  const int width = described ? Entry<int>(info, L"Image Width") : 0;
  const int height = described ? Entry<int>(info, L"Image Height") : 0;
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);

  const Imported imported = Import(filter, manager, path);
  Require(imported.images == (imported.error ? 0u : 1u) && manager.openProgress == 0 &&
              imported.progressInOrder,
          "one image or the host's error; the progress ended, in order");
  if (imported.error) {
    const utl::CError& error = *imported.error;
    Require(refusal(error, described) || (error.Kind() == utl::ErrorKind::ImageTooLarge &&
                                          described && pixels > kFuzzMaxPixels),
            "a file that does not import is refused as such, or over the pixel limit");
    Require(!refused || error.Reason() == refused->Reason(),
            "the import refuses a file for the reason its information did");
  } else {
    const qxio::TrImage& image = *imported.image;
    Require(described && image.GetWidth() == width && image.GetHeight() == height &&
                utl::BitsPerPixel(image.GetColorFormat()) ==
                    Entry<int>(info, L"Image Bits Per Pixel") &&
                pixels <= kFuzzMaxPixels,
            "an imported file is as its information described it, within the pixel limit");
  }
  const Imported again = Import(filter, manager, path);
  Require(!again.error == !imported.error && again.warnings == imported.warnings &&
              (!again.error || again.error->Kind() == imported.error->Kind()) &&
              (!again.image || (ImageRgb(*again.image).pixels == ImageRgb(*imported.image).pixels &&
                                again.image->GetColorFormat() == imported.image->GetColorFormat())),
          "a second import on the same filter ends the same way, with the same image");
  return {std::move(info), imported.image ? imported.warnings : -1};
}

}  // namespace vemra::test
