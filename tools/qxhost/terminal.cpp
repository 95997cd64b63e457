#include "terminal.h"

#include <cstdlib>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace qxhost {

namespace {

constexpr int kDefaultColumns = 80;

// 0 when the system cannot tell.
int SystemColumns(std::FILE* stream) {
#if defined(_WIN32)
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
#else
  struct winsize size {};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
#endif
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

int TerminalColumns(std::FILE* stream) {
  const int columns = SystemColumns(stream);
  if (columns > 0) return columns;
  if (const char* variable = std::getenv("COLUMNS")) {
    char* end = nullptr;
    const long value = std::strtol(variable, &end, 10);
    if (end != variable && *end == '\0' && value > 0 && value <= 10000) {
      return static_cast<int>(value);
    }
  }
  return kDefaultColumns;
}

void SetBinaryMode(std::FILE* stream) {
#if defined(_WIN32)
  _setmode(_fileno(stream), _O_BINARY);
#else
  (void)stream;
#endif
}

}  // namespace qxhost
