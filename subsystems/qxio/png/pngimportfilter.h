// The PNG import filter: recognises PNG files by their signature, describes them and imports
// them into the nearest host colour format: grey of 1, 2-4 and 8-16 bits as Gray1, Gray4 and
// Gray8; palette of 1, 2-4 and 8 bits as Indexed1, Indexed4 and Indexed8 with its palette; RGB
// as BGR24; an alpha channel or a tRNS chunk (on a palette, grey or RGB image) as BGRA32 with
// the alpha in the fourth byte. 16-bit samples become 8-bit ones, with a warning that says so.
// Through libpng, or the Windows Imaging Component on Windows, with the same pixels either way.
#pragma once

#include <string>

#include "qxio/filter.h"

namespace pngio {

class PngImportFilter final : public qxio::IoImportFilter {
public:
  explicit PngImportFilter(qxio::IoManager& manager);

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;
  bool SupportsType(const utl::CTypeInfo* type) const override;
  bool CanImportFile(const std::wstring& path) const override;
  // File Format, Image Width, Image Height, Bit Depth, Color Type and Interlaced; raises the
  // host's error, with the reason, for a file whose header cannot be described.
  qxio::ImportFileInfo GetImportFileInfo(int detail, const std::wstring& path) const override;
  // Hands the image to the manager; raises the host's error, with the reason, for a file that
  // cannot be read whole.
  void ImportFromFile(const std::wstring& path) override;
};

}  // namespace pngio
