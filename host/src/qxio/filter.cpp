#include "qxio/filter.h"

#include <cstdarg>

#include "utl/text.h"

namespace qxio {

using utl::CError;
using utl::ErrorKind;

IoFilter::IoFilter(IoManager& manager) : m_manager(manager) {}
IoFilter::~IoFilter() = default;

int IoFilter::GetPropertyPages(void** /*pages*/, int /*maxPages*/) const {
  return 0;
}
bool IoFilter::SetOptionsFromString(const std::wstring& /*options*/) {
  return false;
}
std::wstring IoFilter::GetOptionsInStringForm() const {
  return {};
}
wchar_t IoFilter::GetOptionStringDelimiter() const {
  return L';';
}

int IoFilter::Warning(utl::IError::WarnStyle style, const wchar_t* format, ...) const {
  std::va_list args;
  va_start(args, format);
  const std::wstring message = utl::FormatV(format, args);
  va_end(args);
  return m_manager.OnWarning(style, message);
}

void IoFilter::Raise(const CError& error) const {
  m_manager.OnError(error);
  throw error;
}

void IoFilter::Throw_ERR_END_BEFORE_BEGIN(const wchar_t* sourceFile, int line) const {
  Raise(CError(ErrorKind::EndBeforeBegin, sourceFile, line));
}

void IoFilter::Throw_ERR_INTERNAL(const wchar_t* sourceFile, int line) const {
  Raise(CError(ErrorKind::Internal, sourceFile, line));
}

void IoFilter::Throw_ERR_UNKNOWN_FORMAT(const wchar_t* sourceFile, int line,
                                        const std::wstring& path,
                                        const std::wstring& reason) const {
  Raise(CError(ErrorKind::UnknownFormat, sourceFile, line, path, {}, reason));
}

void IoFilter::Throw_ERR_UNEXPECTED_EOF(const wchar_t* sourceFile, int line,
                                        const std::wstring& path,
                                        const std::wstring& reason) const {
  Raise(CError(ErrorKind::UnexpectedEof, sourceFile, line, path, {}, reason));
}

void IoFilter::Throw_ERR_FILE_READ(const wchar_t* sourceFile, int line, const std::wstring& path,
                                   const std::wstring& message, const std::wstring& reason) const {
  Raise(CError(ErrorKind::FileRead, sourceFile, line, path, message, reason));
}

void IoFilter::Throw_ERR_FILE_WRITE(const wchar_t* sourceFile, int line, const std::wstring& path,
                                    const std::wstring& message, const std::wstring& reason) const {
  Raise(CError(ErrorKind::FileWrite, sourceFile, line, path, message, reason));
}

void IoFilter::Throw_ERR_NOT_IMPLEMENTED(const wchar_t* sourceFile, int line,
                                         const std::wstring& format, const std::wstring& feature,
                                         const std::wstring& path) const {
  Raise(CError(ErrorKind::NotImplemented, sourceFile, line, path,
               format + L": " + feature + L" are not supported."));
}

void IoFilter::ThrowError(const wchar_t* sourceFile, int line, const wchar_t* format, ...) const {
  std::va_list args;
  va_start(args, format);
  std::wstring message = utl::FormatV(format, args);
  va_end(args);
  Raise(CError(ErrorKind::General, sourceFile, line, std::wstring(), std::move(message)));
}

IoImportFilter::IoImportFilter(IoManager& manager) : IoFilter(manager) {}
IoImportFilter::~IoImportFilter() = default;

ImportFileInfo IoImportFilter::GetImportFileInfo(int /*detail*/,
                                                 const std::wstring& /*path*/) const {
  return ImportFileInfo();
}

bool IoImportFilter::HasDelayedImport() const {
  return false;
}

void IoImportFilter::ImportFromMemory(const void* /*data*/, std::size_t /*size*/) {
  Throw_ERR_NOT_IMPLEMENTED(QXIO_WFILE, __LINE__, L"import", L"imports from memory", L"");
}

void IoImportFilter::ImportObject(TrBase& object) const {
  GetManager().OnObjectImported(object);
}

IoExportFilter::IoExportFilter(IoManager& manager) : IoFilter(manager) {}
IoExportFilter::~IoExportFilter() = default;

bool IoExportFilter::AnswerGraphicsRequest(TrBase& object) {
  if (object.GetTypeId() != TrInitGraphicsExp::GetClassTypeId()) return false;
  auto& request = static_cast<TrInitGraphicsExp&>(object);
  request.m_filterFlag = true;
  request.m_filterParams[0] = 0;
  request.m_filterParams[1] = 0;
  return true;
}

ExportStatus IoExportFilter::BeginExportToMemory() {
  Throw_ERR_NOT_IMPLEMENTED(QXIO_WFILE, __LINE__, L"export", L"exports to memory", L"");
}

ExportStatus IoExportFilter::BeginExportToGlobalMemory() {
  Throw_ERR_NOT_IMPLEMENTED(QXIO_WFILE, __LINE__, L"export", L"exports to global memory", L"");
}

ExportStatus IoExportFilter::EndExportToMemory(void** /*data*/, std::size_t* /*size*/) {
  Throw_ERR_NOT_IMPLEMENTED(QXIO_WFILE, __LINE__, L"export", L"exports to memory", L"");
}

ExportStatus IoExportFilter::EndExportToGlobalMemory(void** /*handle*/) {
  Throw_ERR_NOT_IMPLEMENTED(QXIO_WFILE, __LINE__, L"export", L"exports to global memory", L"");
}

}  // namespace qxio
