// Fuzz target: a PNG that imports (its chunks' CRCs made right first, see pngfiles.h) is
// exported with PngExportFilter and imported again, and comes back as the export documents it:
// the same size and colours; its colour format, but indexed grey as grey and BGRA32 whose fourth
// bytes are all 0 or all 255 as BGR24; other alpha byte for byte.
#include <cstring>

#include "pngexportfilter.h"
#include "pngfiles.h"
#include "pngimportfilter.h"

namespace {

using namespace vemra::test;

// Whether a BGRA32 image's fourth bytes say nothing: all 0 (pad bytes) or all 255.
bool Opaque(const qxio::TrImage& image) {
  const std::uint8_t first = image.Row(0)[3];
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) {
      if (image.Row(y)[4 * x + 3] != first) return false;
    }
  }
  return first == 0 || first == 255;
}

bool Grey(utl::ColorFormat format) {
  return format == utl::Gray1 || format == utl::Gray4 || format == utl::Gray8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes file = WithChunkCrcs(Bytes(data, data + size));
  TestManager manager;
  manager.SetMaxPixels(1u << 20);  // larger images cost time and add no coverage
  pngio::PngImportFilter importer(manager);
  const auto source =
      Import(importer, manager, Wide(ScratchFile("roundtrip.png", file.data(), file.size()))).image;
  if (!source) return 0;
  const qxio::TrImage& image = *source;
  const TempDir dir(MemoryFolder());
  TestManager exportManager;
  pngio::PngExportFilter exporter(exportManager);
  Require(Export(exporter, exportManager, *source, dir.Wide("image.png")) && dir.List().size() == 1,
          "an imported image is exported, alone, its progress ended, in order");

  const Imported back = Import(importer, manager, dir.Wide("image.png"));
  Require(back.image && back.warnings == 0, "the export imports again, without a warning");
  const utl::ColorFormat from = image.GetColorFormat(), to = back.image->GetColorFormat();
  const bool alpha = from == utl::BGRA32 && !Opaque(image);
  const bool indexed = from == utl::Indexed1 || from == utl::Indexed4 || from == utl::Indexed8;
  Require(to == (from == utl::BGRA32 && !alpha ? utl::BGR24 : from) || (indexed && Grey(to)),
          "the colour format comes back; indexed grey as grey, opaque BGRA32 as BGR24");
  const Rgb want = ImageRgb(image), got = ImageRgb(*back.image);
  Require(want.width == image.GetWidth() && got.width == want.width && got.height == want.height &&
              got.pixels == want.pixels,
          "the size and the colours come back");
  for (int y = 0; alpha && y < image.GetHeight(); ++y) {
    Require(std::memcmp(back.image->Row(y), image.Row(y), 4 * std::size_t(image.GetWidth())) == 0,
            "alpha comes back byte for byte");
  }
  return 0;
}
