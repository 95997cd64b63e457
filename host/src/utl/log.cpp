#include "utl/log.h"

#include <cstdio>

#include "utl/text.h"

namespace utl {

void LogExceptionText(const wchar_t* module, const wchar_t* sourceFile, int line,
                      const std::wstring& what) {
  const std::wstring text = std::wstring(module ? module : L"?") + L": exception caught at " +
                            (sourceFile ? sourceFile : L"?") + L":" + std::to_wstring(line) +
                            L": " + what;
  std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
}

}  // namespace utl
