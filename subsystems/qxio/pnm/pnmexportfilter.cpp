#include "pnmexportfilter.h"

#include "pnmformat.h"

namespace pnmio {

namespace {

constexpr qxio::FilterDescriptor kDescriptor = {"$QXIO_FILT$", 100, u"pnm", qxio::FilterKindExport};

}  // namespace

PnmExportFilter::PnmExportFilter(qxio::IoManager& manager) : IoFileExportFilter(manager, L"PNM") {}

const qxio::FilterDescriptor* PnmExportFilter::GetFilterDescriptor() const {
  return &kDescriptor;
}

void PnmExportFilter::WriteImage(const qxio::TrImage& image, utl::CBufferedFile& file,
                                 qxio::CProgress& progress) {
  pnmio::WriteImage(image, file, progress);
}

}  // namespace pnmio
