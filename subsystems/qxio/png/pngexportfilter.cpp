#include "pngexportfilter.h"

#include "pngformat.h"
#include "utl/text.h"

namespace pngio {

namespace {

constexpr qxio::FilterDescriptor kDescriptor = {"$QXIO_FILT$", 100, u"png", qxio::FilterKindExport};

}  // namespace

PngExportFilter::PngExportFilter(qxio::IoManager& manager) : IoFileExportFilter(manager, L"PNG") {}

const qxio::FilterDescriptor* PngExportFilter::GetFilterDescriptor() const {
  return &kDescriptor;
}

void PngExportFilter::WriteImage(const qxio::TrImage& image, utl::CBufferedFile& file,
                                 qxio::CProgress& progress) {
  const WritePlan plan(image, kEncodesSixteenBits);
  try {
    Encode(plan, image, file, progress);
  } catch (const PngError& error) {
    ThrowError(QXIO_WFILE, __LINE__, L"%s", utl::FromUtf8(error.what()).c_str());
  }
  progress.Proportion(1.0);
}

}  // namespace pngio
