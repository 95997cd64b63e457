// The terminal that the standard streams show on.
#pragma once

#include <cstdio>

namespace qxhost {

// The width of the terminal that stream shows on, in columns: from the terminal itself, else
// from the COLUMNS variable, else 80.
int TerminalColumns(std::FILE* stream);

}  // namespace qxhost
