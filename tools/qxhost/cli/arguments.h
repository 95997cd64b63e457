// The command line: what qxhost is asked to do.
#pragma once

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

// args are the arguments after the program's name. Raises UsageError.
Options ParseArguments(const std::vector<std::wstring>& args);

extern const char kUsage[];       // --help
extern const char kShortUsage[];  // after a usage error

}  // namespace qxhost
