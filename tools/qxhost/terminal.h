// The standard streams as the terminal and the system see them.
#pragma once

#include <cstdio>

namespace qxhost {

bool IsTerminal(std::FILE* stream);

// The width of the terminal that stream shows on, in columns: from the terminal itself, else
// from the COLUMNS variable, else 80.
int TerminalColumns(std::FILE* stream);

// Images pass through the stream byte for byte (Windows would translate line ends).
void SetBinaryMode(std::FILE* stream);

}  // namespace qxhost
