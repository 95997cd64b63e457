// Fuzz target: the PNM import filter end to end, as a host drives it: probe, file information,
// then the import. The probe answers by the magic number alone; the information describes a
// header netpbm reads, or refuses it saying why; the import hands over one image, as its
// information described it, or ends in the host's error, saying why.
#include <cstring>

#include "pnmimportfilter.h"
#include "support.h"

namespace {

using namespace vemra::test;
using Kind = utl::ErrorKind;

constexpr std::uint64_t kMaxPixels = 1u << 22;

bool Refusal(const utl::CError& error) {
  const Kind kind = error.Kind();
  return (kind == Kind::FileRead || kind == Kind::UnknownFormat || kind == Kind::UnexpectedEof) &&
         !error.Reason().empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring path = Wide(ScratchFile("import.pnm", data, size));
  TestManager manager;
  manager.SetMaxPixels(kMaxPixels);  // larger images are the host's refusal, not the filter's
  pnmio::PnmImportFilter filter(manager);

  const bool magic = size >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '7' &&
                     std::memchr(" \t\n\r#", data[2], 5) != nullptr;
  Require(filter.CanImportFile(path) == magic, "the probe answers by the magic number alone");
  qxio::ImportFileInfo info;
  const auto refused = Raised([&] { info = filter.GetImportFileInfo(0, path); });
  Require(refused ? Refusal(*refused) : info.m_entries.size() == 6,
          "six entries, or the host's error with the reason");
  int width = 0, height = 0, bits = 0, maxval = 0;
  if (!refused) {
    const std::wstring& format = Entry<std::wstring>(info, L"File Format");
    const std::wstring& storage = Entry<std::wstring>(info, L"Storage Type");
    width = Entry<int>(info, L"Image Width"), height = Entry<int>(info, L"Image Height");
    bits = Entry<int>(info, L"Image Bits Per Pixel"), maxval = Entry<int>(info, L"Maxval");
    static const std::wstring kFormats[] = {L"PBM Image", L"PGM Image", L"PPM Image"};
    const int kind = (data[1] - '1') % 3, kindBits[] = {1, 8, 24};
    Require(format == kFormats[kind] && bits == kindBits[kind] &&
                storage == (data[1] <= '3' ? L"plain" : L"raw") && width > 0 && height > 0 &&
                maxval > 0 && maxval <= 65535 && (kind > 0 || maxval == 1),
            "the kind and the storage by the magic number; pixels, and a maxval netpbm reads");
  }
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);

  const Imported imported = Import(filter, manager, path);
  Require(imported.images == (imported.error ? 0u : 1u) && manager.openProgress == 0 &&
              imported.proportionsInOrder,
          "one image or the host's error; the progress ended, in order");
  if (imported.error) {
    const utl::CError& error = *imported.error;
    Require(
        Refusal(error) || (error.Kind() == Kind::ImageTooLarge && !refused && pixels > kMaxPixels),
        "a PNM that does not import is refused, saying why, or over the pixel limit");
    Require(!refused || error.Reason() == refused->Reason(),
            "the import refuses a file for the reason its information did");
    return 0;
  }
  const qxio::TrImage& image = *imported.image;
  Require(!refused && image.GetWidth() == width && image.GetHeight() == height &&
              utl::BitsPerPixel(image.GetColorFormat()) == bits && pixels <= kMaxPixels,
          "an imported PNM is as its information described it, within the pixel limit");
  Require(imported.warnings == (maxval > 255 ? 1 : 0),
          "a warning exactly when samples lose precision");
  return 0;
}
