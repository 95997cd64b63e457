#include "utl/log.h"

#include <cstdio>
#include <exception>
#include <mutex>

#include "utl/error.h"
#include "utl/text.h"

namespace utl {

namespace {

std::mutex g_sinkMutex;
LogSink g_sink;

std::wstring DescribeCurrentException() {
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

}  // namespace

void LogExceptionInfo(const wchar_t* module, const wchar_t* sourceFile, int line) {
  const std::wstring what = std::current_exception() ? DescribeCurrentException()
                                                     : std::wstring(L"no exception");
  const std::wstring text = std::wstring(module ? module : L"?") + L": exception caught at " +
                            (sourceFile ? sourceFile : L"?") + L":" + std::to_wstring(line) +
                            L": " + what;
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  if (g_sink) {
    g_sink(text);
  } else {
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
  }
}

void SetLogSink(LogSink sink) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  g_sink = std::move(sink);
}

}  // namespace utl
