// Logging of exceptions caught where they may not pass on (destructors).
#pragma once

#include <functional>
#include <string>

#include "utl/api.h"

namespace utl {

// Records the exception being handled and the catching site. Call it only inside a
// catch block. Lines go to standard error, or to the sink if one is set.
QXIO_API void LogExceptionInfo(const wchar_t* module, const wchar_t* sourceFile, int line);

using LogSink = std::function<void(const std::wstring& line)>;
// Replaces the log destination; an empty sink restores standard error.
QXIO_API void SetLogSink(LogSink sink);

}  // namespace utl
