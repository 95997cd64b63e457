#include "sys/commandline.h"

#include <algorithm>

namespace qxhost::sys {

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// The program's name: no escapes, quotes only around it.
std::size_t SplitProgramName(const std::wstring& line, std::vector<CommandLineArgument>& out) {
  CommandLineArgument name;
  std::size_t i = 0;
  bool inQuotes = false;
  for (; i < line.size() && (inQuotes || !IsBlank(line[i])); ++i) {
    if (line[i] == L'"') {
      inQuotes = !inQuotes;
      name.quoted = true;
    } else {
      name.text += line[i];
    }
  }
  out.push_back(name);
  return i;
}

}  // namespace

std::vector<CommandLineArgument> SplitCommandLine(const std::wstring& line) {
  std::vector<CommandLineArgument> arguments;
  std::size_t i = SplitProgramName(line, arguments);
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    CommandLineArgument argument;
    bool inQuotes = false;
    while (i < line.size() && (inQuotes || !IsBlank(line[i]))) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == L'\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == L'"') {
        argument.text.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          argument.text += L'"';
        } else if (inQuotes && i + 1 < line.size() && line[i + 1] == L'"') {
          argument.text += L'"';  // "" inside quotes: a quote, the quoted part going on
          ++i;
        } else {
          inQuotes = !inQuotes;
          argument.quoted = true;
        }
        ++i;
      } else {
        argument.text.append(backslashes, L'\\');
        if (i < line.size() && (inQuotes || !IsBlank(line[i]))) argument.text += line[i++];
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

bool IsWildcard(const CommandLineArgument& argument) {
  return !argument.quoted && argument.text.find_first_of(L"*?") != std::wstring::npos;
}

std::vector<std::wstring> ExpandWildcard(
    const std::wstring& pattern, std::vector<std::wstring> (*lister)(const std::wstring& pattern)) {
  const std::size_t cut = pattern.find_last_of(L"/\\:");
  const std::wstring folder = cut == std::wstring::npos ? L"" : pattern.substr(0, cut + 1);
  std::vector<std::wstring> names;
  for (const std::wstring& name : lister(pattern)) {
    if (name != L"." && name != L"..") names.push_back(folder + name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace qxhost::sys
