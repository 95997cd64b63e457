#include "qxio/fileexport.h"

#include "utl/path.h"

namespace qxio {

IoFileExportFilter::IoFileExportFilter(IoManager& manager, const wchar_t* format)
    : IoExportFilter(manager), m_format(format) {}

IoFileExportFilter::~IoFileExportFilter() = default;

bool IoFileExportFilter::SupportsType(const utl::CTypeInfo* type) const {
  return type == TrImage::GetClassTypeId() || type == TrInitGraphicsExp::GetClassTypeId();
}

ExportStatus IoFileExportFilter::BeginExport(const std::wstring& path) {
  m_written = false;
  try {
    m_output.Begin(path);
  } catch (const utl::CError& error) {
    Raise(error);
  }
  return ExportDone;
}

ExportStatus IoFileExportFilter::ExportObject(TrBase& object) {
  if (AnswerGraphicsRequest(object)) return ExportDone;
  if (object.GetTypeId() != TrImage::GetClassTypeId() || m_written) return ExportNotTaken;
  if (!m_output.IsActive()) Throw_ERR_END_BEFORE_BEGIN(QXIO_WFILE, __LINE__);
  const auto& image = static_cast<const TrImage&>(object);
  try {
    if (image.GetHeight() < 1) {
      ThrowError(QXIO_WFILE, __LINE__, L"%s cannot hold an image of no rows", m_format);
    }
    if (image.GetWidth() < 1) {
      ThrowError(QXIO_WFILE, __LINE__, L"%s cannot hold an image of no columns", m_format);
    }
    CProgress progress(&GetManager());
    progress.MessageVA(L"Writing %s file %s", m_format,
                       utl::CPath(m_output.Target()).GetNameAndExtension().c_str());
    WriteImage(image, m_output.File(), progress);
  } catch (...) {
    m_output.Discard();
    throw;
  }
  m_written = true;
  return ExportDone;
}

ExportStatus IoFileExportFilter::EndExport() {
  if (!m_output.IsActive()) Throw_ERR_END_BEFORE_BEGIN(QXIO_WFILE, __LINE__);
  if (!m_written) {
    m_output.Discard();
    return ExportNothingExported;
  }
  m_output.Commit();  // on failure nothing of the save remains
  return ExportDone;
}

}  // namespace qxio
