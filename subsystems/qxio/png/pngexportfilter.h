// The PNG export filter: writes the first image of a document as a PNG file. Grey images become
// grey PNGs of their depth; indexed images whose used colour-table entries are grey become grey
// PNGs (of 1, 4 or 8 bits when the entries are that depth's grey scale, else of 8 bits with the
// entries' levels), others palette PNGs; BGRA32 becomes RGBA when its fourth bytes differ, else
// RGB; all others 8-bit RGB. The file appears only when complete.
#pragma once

#include "qxio/fileexport.h"

namespace pngio {

class PngExportFilter final : public qxio::IoFileExportFilter {
public:
  explicit PngExportFilter(qxio::IoManager& manager);

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;

private:
  void WriteImage(const qxio::TrImage& image, utl::CBufferedFile& file,
                  qxio::CProgress& progress) override;
};

}  // namespace pngio
