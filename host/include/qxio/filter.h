// The filter framework: the base classes that import and export filters derive from.
#pragma once

#include <cstddef>
#include <string>

#include "qxio/filterdescriptor.h"
#include "qxio/importfileinfo.h"
#include "qxio/manager.h"
#include "qxio/transport.h"
#include "utl/api.h"
#include "utl/error.h"
#include "utl/typeinfo.h"

namespace qxio {

enum ExportStatus : int {
  ExportDone = 0,             // done
  ExportNothingExported = 1,  // nothing exported; the file was removed
  ExportNotTaken = 2,         // the object was not taken
};

class QXIO_API IoFilter {
public:
  explicit IoFilter(IoManager& manager);
  virtual ~IoFilter();
  IoFilter(const IoFilter&) = delete;
  IoFilter& operator=(const IoFilter&) = delete;

  virtual const FilterDescriptor* GetFilterDescriptor() const = 0;
  // Property pages the filter offers the host's dialogs; none by default.
  virtual int GetPropertyPages(void** pages, int maxPages) const;
  virtual bool SetOptionsFromString(const std::wstring& options);
  virtual std::wstring GetOptionsInStringForm() const;
  virtual wchar_t GetOptionStringDelimiter() const;
  virtual bool SupportsType(const utl::CTypeInfo* type) const = 0;

  IoManager& GetManager() const { return m_manager; }

  // Reports a printf-style warning ("%s" takes a wide string) to the manager.
  int Warning(utl::IError::WarnStyle style, const wchar_t* format, ...) const;

  // Each raises the host's error for the raising site's source file and line; none returns.
  [[noreturn]] void Throw_ERR_END_BEFORE_BEGIN(const wchar_t* sourceFile, int line) const;
  [[noreturn]] void Throw_ERR_INTERNAL(const wchar_t* sourceFile, int line) const;
  // reason: what the filter found wrong with the file ("unsupported depth 7").
  [[noreturn]] void Throw_ERR_UNKNOWN_FORMAT(const wchar_t* sourceFile, int line,
                                             const std::wstring& path,
                                             const std::wstring& reason = {}) const;
  // reason: how much of the image the file holds ("49 of 151 rows present").
  [[noreturn]] void Throw_ERR_UNEXPECTED_EOF(const wchar_t* sourceFile, int line,
                                             const std::wstring& path,
                                             const std::wstring& reason = {}) const;
  // reason: the system's words for the failure, such as CBufferedFile::LastSystemError(), or
  // the filter's for what is wrong with the file, carried beside the filter's own message.
  [[noreturn]] void Throw_ERR_FILE_READ(const wchar_t* sourceFile, int line,
                                        const std::wstring& path, const std::wstring& message,
                                        const std::wstring& reason = {}) const;
  [[noreturn]] void Throw_ERR_FILE_WRITE(const wchar_t* sourceFile, int line,
                                         const std::wstring& path, const std::wstring& message,
                                         const std::wstring& reason = {}) const;
  // A feature the filter does not have: the format's name, the feature, and the path.
  [[noreturn]] void Throw_ERR_NOT_IMPLEMENTED(const wchar_t* sourceFile, int line,
                                              const std::wstring& format,
                                              const std::wstring& feature,
                                              const std::wstring& path) const;
  [[noreturn]] void ThrowError(const wchar_t* sourceFile, int line, const wchar_t* format,
                               ...) const;

protected:
  [[noreturn]] void Raise(const utl::CError& error) const;

private:
  IoManager& m_manager;
};

class QXIO_API IoImportFilter : public IoFilter {
public:
  explicit IoImportFilter(IoManager& manager);
  ~IoImportFilter() override;

  virtual bool CanImportFile(const std::wstring& path) const = 0;
  // detail is the host's request for how much to tell; filters may ignore it.
  virtual ImportFileInfo GetImportFileInfo(int detail, const std::wstring& path) const;
  virtual bool HasDelayedImport() const;
  virtual void ImportFromFile(const std::wstring& path) = 0;
  virtual void ImportFromMemory(const void* data, std::size_t size);
  // Hands an imported object to the host's manager.
  virtual void ImportObject(TrBase& object) const;
};

class QXIO_API IoExportFilter : public IoFilter {
public:
  explicit IoExportFilter(IoManager& manager);
  ~IoExportFilter() override;

  // Whether object is the host's request for graphics parameters (TrInitGraphicsExp), which a
  // file filter answers by taking it and asking for nothing: the flag set, both parameters 0.
  static bool AnswerGraphicsRequest(TrBase& object);

  virtual ExportStatus BeginExport(const std::wstring& path) = 0;
  virtual ExportStatus BeginExportToMemory();
  virtual ExportStatus BeginExportToGlobalMemory();
  virtual ExportStatus ExportObject(TrBase& object) = 0;
  virtual ExportStatus EndExport() = 0;
  virtual ExportStatus EndExportToMemory(void** data, std::size_t* size);
  virtual ExportStatus EndExportToGlobalMemory(void** handle);
};

}  // namespace qxio
