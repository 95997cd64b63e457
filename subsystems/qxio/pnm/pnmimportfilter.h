// The PNM import filter: recognises PBM, PGM and PPM files, plain (P1-P3) and raw (P4-P6), by
// their magic number, describes them and imports the first image of a file: PBM as Gray1, PGM as
// Gray8, PPM as BGR24, samples of any maxval from 1 to 65535 scaled to 0..255; a maxval past 255
// loses precision, with a warning that says so. PAM (P7) is refused by name.
#pragma once

#include <string>

#include "qxio/filter.h"

namespace pnmio {

class PnmError;

class PnmImportFilter final : public qxio::IoImportFilter {
public:
  explicit PnmImportFilter(qxio::IoManager& manager);

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;
  bool SupportsType(const utl::CTypeInfo* type) const override;
  bool CanImportFile(const std::wstring& path) const override;
  // File Format ("PBM Image", "PGM Image", "PPM Image"), Image Width, Image Height, Image Bits
  // Per Pixel, Storage Type ("plain" or "raw") and Maxval; raises the host's error, with the
  // reason, for a header that cannot be described.
  qxio::ImportFileInfo GetImportFileInfo(int detail, const std::wstring& path) const override;
  // Hands the image to the manager; raises the host's error, with the reason, for a file that
  // cannot be read whole.
  void ImportFromFile(const std::wstring& path) override;

private:
  // The host's error of the error's kind for path, with its reason.
  [[noreturn]] void Refuse(const std::wstring& path, const PnmError& error) const;
};

}  // namespace pnmio
