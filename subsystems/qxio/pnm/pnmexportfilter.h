// The PNM export filter: writes the first image of a document as a raw PNM file of the kind that
// fits it, at maxval 255: PBM (P4) for black and white, Gray1 or Indexed1 whose two entries are
// black and white in either order; PGM (P5) for the Gray formats and for indexed images whose
// pixels all name grey entries; PPM (P6) for the rest, indexed images through their colour table
// and BGRA32 without its fourth byte. The file appears only when complete.
#pragma once

#include <string>

#include "qxio/filter.h"
#include "utl/safesave.h"

namespace pnmio {

class PnmExportFilter final : public qxio::IoExportFilter {
public:
  explicit PnmExportFilter(qxio::IoManager& manager);
  ~PnmExportFilter() override;

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;
  bool SupportsType(const utl::CTypeInfo* type) const override;
  qxio::ExportStatus BeginExport(const std::wstring& path) override;
  // The first image is written; later ones are not taken (ExportNotTaken). An image of no rows
  // or no columns, which netpbm refuses to read, is refused with the host's error.
  qxio::ExportStatus ExportObject(qxio::TrBase& object) override;
  // Puts the file in place; without an image, removes it (ExportNothingExported).
  qxio::ExportStatus EndExport() override;

private:
  void WriteImage(const qxio::TrImage& image);

  utl::CSafeSave m_output;  // active while an export is under way
  bool m_written = false;
};

}  // namespace pnmio
