// Windows hands a program its command line as one string and leaves wildcards to the program, as
// its own tools expand them: each argument that holds * or ? outside quotes stands for the names
// it matches. The splitting is plain text work, shared by every system so that it is tested
// everywhere.
#pragma once

#include <string>
#include <vector>

namespace qxhost::sys {

struct CommandLineArgument {
  std::wstring text;
  bool quoted = false;  // some of it was between double quotes: a pattern there is a name
};

// Splits a command line as the system's C runtime does: the program's name up to the first blank
// (or between quotes); then arguments between blanks, where 2n backslashes before a double quote
// give n and the quote opens or closes a quoted part, 2n+1 give n and a literal quote, and other
// backslashes are themselves.
std::vector<CommandLineArgument> SplitCommandLine(const std::wstring& line);

// Whether an argument that was not quoted is a pattern: * or ? in it.
bool IsWildcard(const CommandLineArgument& argument);

// The names a pattern stands for: its folder part (up to the last / or \, or a drive's colon)
// before each name that lister gives for it, "." and ".." left out, in order of their names.
// Empty when nothing matches: the argument is then kept as it was typed.
std::vector<std::wstring> ExpandWildcard(
    const std::wstring& pattern, std::vector<std::wstring> (*lister)(const std::wstring& pattern));

}  // namespace qxhost::sys
