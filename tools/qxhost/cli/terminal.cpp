#include "cli/terminal.h"

#include <cstdlib>

#include "sys/platform.h"

namespace qxhost {

namespace {

constexpr int kDefaultColumns = 80;

}  // namespace

int TerminalColumns(std::FILE* stream) {
  const int columns = sys::TerminalWidth(stream);
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

}  // namespace qxhost
