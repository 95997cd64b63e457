// The export filter: writes the first image of a document as a Sun raster file, standard or
// run-length encoded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qxio/filter.h"
#include "sunrasterwriter.h"
#include "utl/safesave.h"

namespace vemra {

struct ExportPlan;  // how an image's rows reach the file

class SunExportFilter final : public qxio::IoExportFilter {
public:
  explicit SunExportFilter(qxio::IoManager& manager);
  ~SunExportFilter() override;

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;
  bool SupportsType(const utl::CTypeInfo* type) const override;
  qxio::ExportStatus BeginExport(const std::wstring& path) override;
  qxio::ExportStatus ExportObject(qxio::TrBase& object) override;
  qxio::ExportStatus EndExport() override;
  // "Compression=None" (the default) or "Compression=RLE": standard or run-length encoded
  // files. Items are separated by GetOptionStringDelimiter; letter case does not matter.
  bool SetOptionsFromString(const std::wstring& options) override;
  std::wstring GetOptionsInStringForm() const override;

private:
  qxio::ExportStatus ExportImage(const qxio::TrImage& image);
  void WriteRows(const qxio::TrImage& image, const ExportPlan& plan);
  // Ends an unfinished transfer: discards the save, ends the progress.
  void DiscardTransfer() noexcept;

  SunRasterWriter m_writer;  // into m_output's file, each image from its header on
  utl::CSafeSave m_output;   // active while an export is under way
  std::int32_t m_numImagesExported = 0;
  bool m_warnedExtraImages = false;
  bool m_runLength = false;  // the option string's choice
  std::unique_ptr<qxio::CProgress> m_progress;
};

}  // namespace vemra
