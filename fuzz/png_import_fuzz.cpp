// Fuzz target: the PNG import filter end to end (importcheck.h), on the file as given and, when a
// chunk's CRC is wrong, again with the CRCs made right (pngfiles.h). The probe answers by the
// signature alone; a refusal is the host's read error, saying why. Where the decoder's direct
// way reads a file (directdecoder.h), libpng reads it too, to the same image.
#include <cstring>

#include "importcheck.h"
#include "pngfiles.h"
#include "pngimportfilter.h"

namespace {

using namespace vemra::test;
bool IsRefusal(const utl::CError& error, bool /*described*/) {
  return error.Kind() == utl::ErrorKind::FileRead && !error.Reason().empty();
}

void Check(const Bytes& file) {
  static constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  const bool signature = file.size() >= 8 && std::memcmp(file.data(), kSignature, 8) == 0;
  const auto [info, warnings] = CheckImport<pngio::PngImportFilter>(
      Wide(ScratchFile("import.png", file.data(), file.size())), signature, 7, IsRefusal);
  if (info.m_entries.empty()) return;
  Require(signature && Entry<int>(info, L"Image Width") > 0 &&
              Entry<int>(info, L"Image Height") > 0 &&
              Entry<std::wstring>(info, L"File Format") == L"PNG Image" &&
              !Entry<std::wstring>(info, L"Color Type").empty(),
          "the signature; pixels, the format and the colour type by name");
  Entry<bool>(info, L"Interlaced");
  Require(warnings < 0 || warnings == (Entry<int>(info, L"Bit Depth") == 16 ? 1 : 0),
          "a warning exactly when 16-bit samples lose precision");
}

#if !defined(_WIN32)
void CheckDirectWay(const Bytes& file) {
  const std::wstring path = Wide(ScratchFile("direct.png", file.data(), file.size()));
  const Decoded direct = DecodeBy(pngio::Route::Direct, path, kFuzzMaxPixels);
  if (!direct.image) return;
  const Decoded libpng = DecodeBy(pngio::Route::Libpng, path, kFuzzMaxPixels);
  Require(libpng.image && SameImage(*libpng.image, *direct.image),
          "libpng reads what the direct way reads, to the same image");
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
