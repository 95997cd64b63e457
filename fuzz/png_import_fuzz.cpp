// Fuzz target: the PNG import filter end to end, as a host drives it: probe, file information,
// then the import, on the file as given and, when a chunk's CRC is wrong, again with the CRCs
// made right (pngchunks.h). The probe answers by the signature alone; a file imports as one
// image, as its information described it, or ends in the host's error, saying why. Where the
// decoder's direct way reads a file (directdecoder.h), libpng reads it too, to the same image.
#include <cstring>

#include "pngchunks.h"
#include "pngimportfilter.h"
#if !defined(_WIN32)
#include "directdecoder.h"
#endif

namespace {

using namespace vemra::test;
using Kind = utl::ErrorKind;

constexpr std::uint64_t kMaxPixels = 1u << 22;

void Check(const Bytes& file) {
  const std::wstring path = Wide(ScratchFile("import.png", file.data(), file.size()));
  TestManager manager;
  manager.SetMaxPixels(kMaxPixels);  // larger images are the host's refusal, not the filter's
  pngio::PngImportFilter filter(manager);

  static constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  const bool signature = file.size() >= 8 && std::memcmp(file.data(), kSignature, 8) == 0;
  Require(filter.CanImportFile(path) == signature, "the probe answers by the signature alone");
  qxio::ImportFileInfo info;
  const auto refused = Raised([&] { info = filter.GetImportFileInfo(0, path); });
  Require(refused ? refused->Kind() == Kind::FileRead && !refused->Reason().empty()
                  : signature && info.m_entries.size() == 7,
          "seven entries for a PNG, or the host's read error with the reason");
  int width = 0, height = 0, bits = 0, depth = 0;
  if (!refused) {
    Require(Entry<std::wstring>(info, L"File Format") == L"PNG Image" &&
                !Entry<std::wstring>(info, L"Color Type").empty(),
            "the format and the colour type by name");
    Entry<bool>(info, L"Interlaced");
    width = Entry<int>(info, L"Image Width"), height = Entry<int>(info, L"Image Height");
    bits = Entry<int>(info, L"Image Bits Per Pixel"), depth = Entry<int>(info, L"Bit Depth");
    Require(width > 0 && height > 0, "a described PNG has pixels");
  }
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);

  const Imported imported = Import(filter, manager, path);
  Require(imported.images == (imported.error ? 0u : 1u) && manager.openProgress == 0 &&
              imported.proportionsInOrder,
          "one image or the host's error; the progress ended, in order");
  if (imported.error) {
    const utl::CError& error = *imported.error;
    Require((error.Kind() == Kind::FileRead && !error.Reason().empty()) ||
                (error.Kind() == Kind::ImageTooLarge && !refused && pixels > kMaxPixels),
            "a PNG that does not import is unreadable, saying why, or over the pixel limit");
    Require(!refused || error.Reason() == refused->Reason(),
            "the import refuses a file for the reason its information did");
    return;
  }
  const qxio::TrImage& image = *imported.image;
  Require(!refused && image.GetWidth() == width && image.GetHeight() == height &&
              utl::BitsPerPixel(image.GetColorFormat()) == bits && pixels <= kMaxPixels,
          "an imported PNG is as its information described it, within the pixel limit");
  Require(imported.warnings == (depth == 16 ? 1 : 0),
          "a warning exactly when 16-bit samples lose precision");
}

#if !defined(_WIN32)
std::unique_ptr<qxio::TrImage> DecodeBy(pngio::Route route, const std::wstring& path) {
  TestManager manager;
  manager.SetMaxPixels(kMaxPixels);
  qxio::CProgress progress(&manager);
  std::string notice;
  try {
    return std::make_unique<qxio::TrImage>(pngio::DecodeBy(route, path, progress, &notice));
  } catch (const std::exception&) {
    return nullptr;
  }
}

void CheckDirectWay(const Bytes& file) {
  const std::wstring path = Wide(ScratchFile("direct.png", file.data(), file.size()));
  const auto direct = DecodeBy(pngio::Route::Direct, path);
  if (!direct) return;
  const auto libpng = DecodeBy(pngio::Route::Libpng, path);
  Require(libpng && libpng->GetColorFormat() == direct->GetColorFormat() &&
              libpng->GetWidth() == direct->GetWidth() &&
              libpng->GetHeight() == direct->GetHeight(),
          "libpng reads what the direct way reads, an image of the same size and format");
  RGBQUAD tables[2][256];
  libpng->GetColorTable(tables[0], 0, 256);
  direct->GetColorTable(tables[1], 0, 256);
  Require(std::memcmp(tables[0], tables[1], sizeof tables[0]) == 0, "the same colour table");
  for (int y = 0; y < direct->GetHeight(); ++y) {
    Require(std::memcmp(libpng->Row(y), direct->Row(y), direct->RowBytes()) == 0,
            "the direct way's rows are libpng's");
  }
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes file(data, data + size);
  Check(file);
  const Bytes repaired = WithChunkCrcs(file);
  if (repaired != file) Check(repaired);
#if !defined(_WIN32)
  CheckDirectWay(repaired);
#endif
  return 0;
}
