// The import filter: recognises, describes and imports Sun raster files.
#pragma once

#include <cstdint>
#include <string>

#include "qxio/filter.h"
#include "sunrasterreader.h"
#include "utl/bufferedfile.h"

namespace vemra {

class SunImportFilter final : public qxio::IoImportFilter {
public:
  explicit SunImportFilter(qxio::IoManager& manager);
  ~SunImportFilter() override;

  const qxio::FilterDescriptor* GetFilterDescriptor() const override;
  bool SupportsType(const utl::CTypeInfo* type) const override;
  bool CanImportFile(const std::wstring& path) const override;
  qxio::ImportFileInfo GetImportFileInfo(int detail, const std::wstring& path) const override;
  void ImportFromFile(const std::wstring& path) override;

private:
  // The import of the file just opened; it is closed before the image is handed over.
  void ImportOpenFile(const std::wstring& path);
  void RefuseImpossibleSize(const std::wstring& path);
  void ReorderAsPadLast(qxio::TrImage& image, int rows) const;

  SunRasterReader m_reader;
  utl::CBufferedFile m_file;
};

}  // namespace vemra
