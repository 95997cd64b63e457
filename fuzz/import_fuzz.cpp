// Fuzz target: the Sun raster import filter end to end (importcheck.h).
// The probe answers by the magic number alone, in either byte order; a file whose header the
// information describes fails only for missing rows (or its size), any other as unreadable or
// of an unknown format; at most one warning.
#include "importcheck.h"
#include "sunimportfilter.h"

namespace {

using namespace vemra::test;
using Kind = utl::ErrorKind;

bool IsRefusal(const utl::CError& error, bool described) {
  const Kind kind = error.Kind();
  return described ? kind == Kind::UnexpectedEof
                   : kind == Kind::FileRead || kind == Kind::UnknownFormat;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes file(data, data + size);
  const bool magic = size >= 4 && (Be32(file, 0) == vemra::kSunRasterMagic ||
                                   Be32(file, 0) == 0x956AA659);  // or byte-swapped
  const auto [info, warnings] = CheckImport<vemra::SunImportFilter>(
      Wide(ScratchFile("import.ras", data, size)), magic, 6, IsRefusal);
  Require(warnings <= 1 && (magic || info.m_entries.empty()),
          "at most one warning; no file described without the magic number");
  return 0;
}
