#include "options.h"

#include <cwctype>
#include <limits>

#include "utl/text.h"

namespace qxhost {

const char kUsage[] =
    "usage: qxhost [options] COMMAND FILE...\n"
    "\n"
    "Reads and writes Sun raster images through the vemra plug-in.\n"
    "\n"
    "commands:\n"
    "  probe FILE...     tell whether the plug-in recognises each file\n"
    "  info FILE...      print what the plug-in tells about each file\n"
    "  check FILE...     read each file completely and report its size or its fault\n"
    "  convert IN OUT    convert between Sun raster and PNG; OUT's extension picks the\n"
    "                    format: .ras .sun .im1 .rs (Sun raster) or .png\n"
    "\n"
    "options:\n"
    "  --plugin PATH     load the plug-in from PATH instead of qxhost's own folder\n"
    "  --max-pixels N    refuse images of more than N pixels (0: no limit;\n"
    "                    default 1073741824)\n"
    "  --quiet           show no progress\n"
    "  --help            show this help\n"
    "  --version         show qxhost's version\n"
    "\n"
    "exit status: 0 success, 1 a file failed, 2 the command line was wrong\n";

const char kShortUsage[] =
    "usage: qxhost [--plugin PATH] [--max-pixels N] [--quiet] probe|info|check FILE...\n"
    "       qxhost [--plugin PATH] [--max-pixels N] [--quiet] convert IN OUT\n"
    "       qxhost --help | --version\n";

namespace {

std::string Utf8(const std::wstring& text) { return utl::ToUtf8(text); }

std::uint64_t ParseCount(const std::wstring& text) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  bool valid = !text.empty();
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') {
      valid = false;
      break;
    }
    const auto digit = static_cast<std::uint64_t>(c - L'0');
    if (value > (kMax - digit) / 10) {
      valid = false;
      break;
    }
    value = value * 10 + digit;
  }
  if (!valid) {
    throw UsageError("--max-pixels takes a whole number of pixels, not '" + Utf8(text) + "'");
  }
  return value;
}

}  // namespace

FileKind KindByExtension(const std::wstring& path) {
  const std::size_t dot = path.find_last_of(L'.');
  const std::size_t slash = path.find_last_of(L"/\\");
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
    return FileKind::Unknown;
  }
  std::wstring extension = path.substr(dot + 1);
  for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  if (extension == L"png") return FileKind::Png;
  if (extension == L"ras" || extension == L"sun" || extension == L"im1" || extension == L"rs") {
    return FileKind::SunRaster;
  }
  return FileKind::Unknown;
}

Options ParseArguments(const std::vector<std::wstring>& args) {
  Options options;
  bool help = false;
  bool version = false;
  std::vector<std::wstring> words;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != L'-') {
      words.push_back(arg);
      continue;
    }
    // "--name=value" and "--name value" both work for the options that take a value.
    const std::size_t equals = arg.find(L'=');
    const std::wstring name = arg.substr(0, equals);
    auto value = [&]() -> std::wstring {
      if (equals != std::wstring::npos) return arg.substr(equals + 1);
      if (i + 1 >= args.size()) throw UsageError(Utf8(name) + " needs a value");
      return args[++i];
    };
    if (arg == L"--") {
      optionsEnded = true;
    } else if (arg == L"--help" || arg == L"-h") {
      help = true;
    } else if (arg == L"--version") {
      version = true;
    } else if (arg == L"--quiet" || arg == L"-q") {
      options.quiet = true;
    } else if (name == L"--plugin") {
      options.plugin = value();
      if (options.plugin.empty()) throw UsageError("--plugin needs a path");
    } else if (name == L"--max-pixels") {
      options.maxPixels = ParseCount(value());
    } else {
      throw UsageError("unknown option '" + Utf8(arg) + "'");
    }
  }

  if (help) return options;
  if (version) {
    options.command = Command::Version;
    return options;
  }
  if (words.empty()) throw UsageError("no command given");
  const std::wstring command = words.front();
  options.files.assign(words.begin() + 1, words.end());
  if (command == L"probe") {
    options.command = Command::Probe;
  } else if (command == L"info") {
    options.command = Command::Info;
  } else if (command == L"check") {
    options.command = Command::Check;
  } else if (command == L"convert") {
    options.command = Command::Convert;
    if (options.files.size() != 2) throw UsageError("convert takes an input and an output file");
    if (KindByExtension(options.files[1]) == FileKind::Unknown) {
      throw UsageError("cannot tell the output format from '" + Utf8(options.files[1]) +
                       "': use .png, .ras, .sun, .im1 or .rs");
    }
    return options;
  } else {
    throw UsageError("unknown command '" + Utf8(command) + "'");
  }
  if (options.files.empty()) throw UsageError(Utf8(command) + " needs at least one file");
  return options;
}

}  // namespace qxhost
