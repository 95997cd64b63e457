// Fuzz target: the import filter end to end, as a host drives it: probe, file information, then
// the import, twice on the same filter. Every bad file ends in one of the host's errors for bad
// input, consistent with what the probe and the information said.
#include "sunimportfilter.h"
#include "support.h"

using namespace vemra::test;
using Kind = utl::ErrorKind;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes file(data, data + size);
  const std::wstring path = Wide(ScratchFile("import.ras", data, size));
  TestManager manager;
  manager.SetMaxPixels(1u << 22);  // larger images are the host's refusal, not the filter's
  vemra::SunImportFilter filter(manager);

  const bool magic = size >= 4 && (Be32(file, 0) == vemra::kSunRasterMagic ||
                                   Be32(file, 0) == 0x956AA659);  // or byte-swapped
  Require(filter.CanImportFile(path) == magic, "the probe answers by the magic number alone");
  const qxio::ImportFileInfo info = filter.GetImportFileInfo(0, path);
  const bool described = !info.m_entries.empty();
  Require(info.m_entries.size() == (described ? 6u : 0u) && (magic || !described),
          "six entries for a Sun raster file, or none");

  const Imported first = Import(filter, manager, path);
  Require(first.images == (first.error ? 0u : 1u) && first.warnings <= 1,
          "one image and at most one warning, or an error and no image");
  const auto kind = first.error ? first.error->Kind() : Kind::Internal;
  if (first.error && described) {
    Require(kind == Kind::UnexpectedEof || kind == Kind::ImageTooLarge,
            "a described file fails only for missing rows or its size");
  } else if (first.error) {
    Require(kind == Kind::FileRead || kind == Kind::UnknownFormat,
            "an undescribed file fails as unreadable or of an unknown format");
  } else {
    const qxio::TrImage& image = *first.image;
    Require(
        described && image.GetWidth() == Entry<int>(info, L"Image Width") &&
            image.GetHeight() == Entry<int>(info, L"Image Height") &&
            utl::BitsPerPixel(image.GetColorFormat()) == Entry<int>(info, L"Image Bits Per Pixel"),
        "an imported file is as described");
  }
  // Again on the same filter: nothing of the first import, failed or not, may change the second.
  const Imported second = Import(filter, manager, path);
  Require(!first.error == !second.error && first.warnings == second.warnings &&
              (!first.error || first.error->Kind() == second.error->Kind()),
          "a second import ends the same way");
  if (first.image) {
    Require(ImageRgb(*first.image).pixels == ImageRgb(*second.image).pixels &&
                first.image->GetColorFormat() == second.image->GetColorFormat(),
            "a second import gives the same image");
  }
  return 0;
}
