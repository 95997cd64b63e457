// The command line: what qxhost is asked to do.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qxhost {

enum class Command { Help, Version, Probe, Info, Check, Convert };
enum class FileKind { Unknown, SunRaster, Png };

struct Options {
  Command command = Command::Help;
  std::vector<std::wstring> files;  // for convert: input, output
  std::wstring plugin;              // empty: the plug-in beside the executable
  bool quiet = false;
  std::optional<std::uint64_t> maxPixels;
};

// A command line that asks for nothing qxhost can do; what() says why, in UTF-8.
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// args are the arguments after the program's name. Raises UsageError.
Options ParseArguments(const std::vector<std::wstring>& args);

// The kind of file an output path asks for, by its extension (any letter case).
FileKind KindByExtension(const std::wstring& path);

extern const char kUsage[];       // --help
extern const char kShortUsage[];  // after a usage error

}  // namespace qxhost
