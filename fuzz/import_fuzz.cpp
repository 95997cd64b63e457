// Fuzz target: the import filter end to end, as a host drives it: probe, file information,
// then the import, twice on the same filter object. Every bad file must end in one of the
// host's errors for bad input, consistent with what the probe and the information said.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "fuzzsupport.h"
#include "sunimportfilter.h"
#include "utl/colorformat.h"
#include "utl/error.h"

namespace {

using vemra::fuzz::Be32;
using vemra::fuzz::KeepingManager;
using vemra::fuzz::Require;

struct Outcome {
  std::optional<utl::ErrorKind> error;
  std::unique_ptr<qxio::TrImage> image;
  int warnings = 0;
};

Outcome Import(vemra::SunImportFilter& filter, KeepingManager& manager, const std::wstring& path) {
  Outcome outcome;
  const int imagesBefore = manager.m_images, warningsBefore = manager.m_warnings;
  try {
    filter.ImportFromFile(path);
  } catch (const utl::IError& error) {
    outcome.error = error.Kind();
  }
  outcome.warnings = manager.m_warnings - warningsBefore;
  Require(manager.m_images - imagesBefore == (outcome.error ? 0 : 1),
          "one image on success, none on failure");
  if (!outcome.error) outcome.image = std::move(manager.m_image);
  return outcome;
}

bool SameImage(const qxio::TrImage& a, const qxio::TrImage& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
      a.GetColorFormat() != b.GetColorFormat() || a.RowBytes() != b.RowBytes() ||
      a.GetNumColorTableEntriesUsed() != b.GetNumColorTableEntriesUsed()) {
    return false;
  }
  for (int y = 0; y < a.GetHeight(); ++y) {
    if (std::memcmp(a.Row(y), b.Row(y), a.RowBytes()) != 0) return false;
  }
  RGBQUAD ta[256], tb[256];
  a.GetColorTable(ta, 0, 256);
  b.GetColorTable(tb, 0, 256);
  return std::memcmp(ta, tb, sizeof ta) == 0;
}

int IntEntry(const qxio::ImportFileInfo& info, const wchar_t* key) {
  const auto it = info.m_entries.find(key);
  Require(it != info.m_entries.end(), "file information has every entry");
  const int* value = boost::any_cast<int>(&it->second);
  Require(value != nullptr, "numeric entries hold int");
  return *value;
}

// Whether the bytes after the colour map can hold more than half of the rows: raw rows need
// their bytes, run-length data decodes to at most 256 bytes for every 3.
bool CouldFillHalf(const std::uint8_t* data, std::size_t size) {
  const std::int64_t width = Be32(data + 4), height = Be32(data + 8), depth = Be32(data + 12);
  const std::int64_t maplength = static_cast<std::int32_t>(Be32(data + 28));
  const std::int64_t mapBytes =
      Be32(data + 24) == 1 ? 3 * std::max<std::int64_t>(maplength / 3, 0) : 0;
  const std::int64_t remaining = static_cast<std::int64_t>(size) - 32 - mapBytes;
  const std::int64_t needed = (height / 2 + 1) * vemra::bytesPerRow(width, depth);
  return Be32(data + 20) == 2 ? remaining * 256 >= needed * 3 : remaining >= needed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring path = vemra::fuzz::Wide(vemra::fuzz::PutFile("import.ras", data, size));
  KeepingManager manager;
  manager.SetMaxPixels(1u << 22);  // larger images are the host's refusal, not the filter's
  vemra::SunImportFilter filter(manager);

  const bool magic = size >= 4 && Be32(data) == 0x59A66A95;
  Require(filter.CanImportFile(path) == magic, "the probe answers by the magic number alone");

  const qxio::ImportFileInfo info = filter.GetImportFileInfo(0, path);
  const bool described = !info.m_entries.empty();
  Require(info.m_entries.size() == (described ? 4u : 0u), "four entries or none");
  if (described) Require(magic, "only Sun raster files are described");

  Outcome first = Import(filter, manager, path);
  if (first.error && described) {
    // A file the information step could read fails later only for its size or its rows; and
    // reaching the pixel limit means the image was about to be allocated, which only a file
    // that could fill more than half of its rows may get to.
    const utl::ErrorKind kind = *first.error;
    Require(kind == utl::ErrorKind::UnexpectedEof ||
                (kind == utl::ErrorKind::ImageTooLarge && CouldFillHalf(data, size)),
            "a described file fails only for missing rows or, if it could fill them, its size");
  } else if (first.error) {
    Require(*first.error == utl::ErrorKind::FileRead ||
                *first.error == utl::ErrorKind::UnknownFormat,
            "an undescribed file fails as unreadable or of an unknown format");
  } else {
    Require(described, "an imported file could be described");
    const qxio::TrImage& image = *first.image;
    Require(image.GetWidth() == IntEntry(info, L"Image Width") &&
                image.GetHeight() == IntEntry(info, L"Image Height") &&
                utl::BitsPerPixel(image.GetColorFormat()) ==
                    IntEntry(info, L"Image Bits Per Pixel"),
            "image size and colour format as described");
    Require(first.warnings <= 1, "at most one warning");
  }

  // The same file again on the same filter object: an error left its file open, and nothing
  // of the first import may change the second.
  Outcome second = Import(filter, manager, path);
  Require(first.error == second.error && first.warnings == second.warnings,
          "a second import ends the same way");
  if (first.image) Require(SameImage(*first.image, *second.image), "a second import is identical");
  return 0;
}
