// The command line: what qxhost is asked to do.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/options.h"

namespace qxhost {

// A command line that asks for nothing qxhost can do; what() says why, in UTF-8.
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The names that args[index] stands for when it is a pattern the system left to qxhost; empty
// for none (see sys::WildcardMatches).
using WildcardExpander = std::function<std::vector<std::wstring>(std::size_t index)>;

// args are the arguments after the program's name. The files of every command but convert's
// two-file form go through expand, where given. Raises UsageError.
Options ParseArguments(const std::vector<std::wstring>& args,
                       const WildcardExpander& expand = nullptr);

extern const char kUsage[];       // --help
extern const char kShortUsage[];  // after a usage error

}  // namespace qxhost
