// A base for export filters that write one image to a file: the first image of a document is
// written through a safe save, so that the file appears only when complete and a failure leaves
// none; later images are not taken. A derived filter gives its descriptor and writes the image.
#pragma once

#include <string>

#include "qxio/filter.h"
#include "utl/safesave.h"

namespace qxio {

class QXIO_API IoFileExportFilter : public IoExportFilter {
public:
  // format: the format's name as messages give it ("PNG"); it must outlive the filter.
  IoFileExportFilter(IoManager& manager, const wchar_t* format);
  ~IoFileExportFilter() override;  // an unfinished save removes its file

  // Images, and the host's request for graphics parameters.
  bool SupportsType(const utl::CTypeInfo* type) const override;
  // Starts the save, discarding one under way; a path that cannot be saved to raises the
  // host's error.
  ExportStatus BeginExport(const std::wstring& path) override;
  // The first image is written; later ones are not taken (ExportNotTaken). An image of no rows
  // or no columns is refused with the host's error, and a failed image removes the file.
  ExportStatus ExportObject(TrBase& object) override;
  // Puts the file in place; without an image, removes it (ExportNothingExported).
  ExportStatus EndExport() override;

protected:
  // Writes image (at least one row and one column) to file, reporting to progress, whose
  // message already names the file; raises the host's error on failure.
  virtual void WriteImage(const TrImage& image, utl::CBufferedFile& file, CProgress& progress) = 0;

private:
  const wchar_t* m_format;
  utl::CSafeSave m_output;  // active while an export is under way
  bool m_written = false;
};

}  // namespace qxio
