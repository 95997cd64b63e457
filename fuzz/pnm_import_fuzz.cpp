// Fuzz target: the PNM import filter end to end (importcheck.h). The probe answers by the magic
// number alone; the information describes a header netpbm reads, or refuses it saying why; a
// warning comes exactly when samples lose precision.
#include <cstring>

#include "importcheck.h"
#include "pnmimportfilter.h"

namespace {

using namespace vemra::test;
using Kind = utl::ErrorKind;

bool IsRefusal(const utl::CError& error, bool /*described*/) {
  const Kind kind = error.Kind();
  return (kind == Kind::FileRead || kind == Kind::UnknownFormat || kind == Kind::UnexpectedEof) &&
         !error.Reason().empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bool magic = size >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '7' &&
                     std::memchr(" \t\n\r#", data[2], 5) != nullptr;
  const auto [info, warnings] = CheckImport<pnmio::PnmImportFilter>(
      Wide(ScratchFile("import.pnm", data, size)), magic, 6, IsRefusal);
  if (info.m_entries.empty()) return 0;
  static const std::wstring kFormats[] = {L"PBM Image", L"PGM Image", L"PPM Image"};
  const int kind = (data[1] - '1') % 3, kindBits[] = {1, 8, 24};
  const int maxval = Entry<int>(info, L"Maxval");
  Require(Entry<std::wstring>(info, L"File Format") == kFormats[kind] &&
              Entry<int>(info, L"Image Bits Per Pixel") == kindBits[kind] &&
              Entry<std::wstring>(info, L"Storage Type") == (data[1] <= '3' ? L"plain" : L"raw") &&
              maxval > 0 && maxval <= 65535 && (kind > 0 || maxval == 1) &&
              Entry<int>(info, L"Image Width") > 0 && Entry<int>(info, L"Image Height") > 0,
          "the kind and the storage by the magic number; pixels, and a maxval netpbm reads");
  Require(warnings < 0 || warnings == (maxval > 255 ? 1 : 0),
          "a warning exactly when samples lose precision");
  return 0;
}
