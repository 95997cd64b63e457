// The PNG export filter: writes the first image of a document as a PNG file. Grey images become
// grey PNGs of their depth; indexed images whose used colour-table entries are grey become grey
// PNGs (of 1, 4 or 8 bits when the entries are that depth's grey scale, else of 8 bits with the
// entries' levels), others palette PNGs; BGRA32 becomes RGBA when its fourth bytes differ, else
// RGB; all others 8-bit RGB. The file appears only when complete.
#pragma once

#include <memory>
#include <string>

#include "qxio/filter.h"
#include "utl/safesave.h"

namespace pngio {

class PngExportFilter final : public qxio::IoExportFilter {
public:
  explicit PngExportFilter(qxio::IoManager& manager);
  ~PngExportFilter() override;

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;
  bool SupportsType(const utl::CTypeInfo* type) const override;
  qxio::ExportStatus BeginExport(const std::wstring& path) override;
  // The first image is written; later ones are not taken (ExportNotTaken). An image of no rows
  // or no columns is refused with the host's error.
  qxio::ExportStatus ExportObject(qxio::TrBase& object) override;
  // Puts the file in place; without an image, removes it (ExportNothingExported).
  qxio::ExportStatus EndExport() override;

private:
  void WriteImage(const qxio::TrImage& image);

  utl::CSafeSave m_output;  // active while an export is under way
  bool m_written = false;
};

}  // namespace pngio
