#include "utl/log.h"

#include <cstdio>
#include <mutex>

#include "utl/text.h"

namespace utl {

namespace {

std::mutex g_sinkMutex;
LogSink g_sink;

}  // namespace

void LogExceptionText(const wchar_t* module, const wchar_t* sourceFile, int line,
                      const std::wstring& what) {
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
