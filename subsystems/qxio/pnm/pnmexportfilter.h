// The PNM export filter: writes the first image of a document as a raw PNM file of the kind that
// fits it, at maxval 255: PBM (P4) for black and white, Gray1 or Indexed1 whose two entries are
// black and white in either order; PGM (P5) for the Gray formats and for indexed images whose
// pixels all name grey entries; PPM (P6) for the rest, indexed images through their colour table
// and BGRA32 without its fourth byte. The file appears only when complete.
#pragma once

#include "qxio/fileexport.h"

namespace pnmio {

class PnmExportFilter final : public qxio::IoFileExportFilter {
public:
  explicit PnmExportFilter(qxio::IoManager& manager);

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;

private:
  void WriteImage(const qxio::TrImage& image, utl::CBufferedFile& file,
                  qxio::CProgress& progress) override;
};

}  // namespace pnmio
