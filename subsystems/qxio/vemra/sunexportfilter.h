// The export filter: writes the first image of a document as a standard Sun raster file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qxio/filter.h"
#include "sunrasterwriter.h"
#include "utl/safesave.h"

namespace vemra {

class SunExportFilter final : public qxio::IoExportFilter {
public:
  explicit SunExportFilter(qxio::IoManager& manager);
  ~SunExportFilter() override;

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;
  bool SupportsType(const utl::CTypeInfo* type) const override;
  qxio::ExportStatus BeginExport(const std::wstring& path) override;
  qxio::ExportStatus ExportObject(qxio::TrBase& object) override;
  qxio::ExportStatus EndExport() override;

private:
  qxio::ExportStatus ExportImage(const qxio::TrImage& image);
  // Ends an unfinished transfer: discards the save, ends the progress.
  void DiscardTransfer();

  SunRasterWriter m_writer;
  utl::CSafeSave m_output;  // active while an export is under way
  std::int32_t m_numImagesExported = 0;
  bool m_warnedExtraImages = false;
  std::unique_ptr<qxio::CProgress> m_progress;
};

}  // namespace vemra
