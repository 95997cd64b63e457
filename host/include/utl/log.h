// Logging of exceptions caught where they may not pass on (destructors).
#pragma once

#include <exception>
#include <string>

#include "utl/api.h"
#include "utl/error.h"
#include "utl/text.h"

namespace utl {

// Records a line about an exception caught at a site on standard error.
QXIO_API void LogExceptionText(const wchar_t* module, const wchar_t* sourceFile, int line,
                               const std::wstring& what);

// Describes the exception being handled; inline so that it runs in the catching binary. On
// Windows each binary links its own C++ runtime, and only the catching binary's runtime
// knows the exception it handles.
inline std::wstring DescribeCurrentException() {
  if (!std::current_exception()) return L"no exception";
  try {
    throw;
  } catch (const IError& error) {
    return error.Sentence();
  } catch (const std::exception& error) {
    return FromUtf8(error.what());
  } catch (...) {
    return L"an exception of unknown type";
  }
}

// Records the exception being handled and the catching site. Call it only inside a
// catch block.
inline void LogExceptionInfo(const wchar_t* module, const wchar_t* sourceFile, int line) {
  LogExceptionText(module, sourceFile, line, DescribeCurrentException());
}

}  // namespace utl
