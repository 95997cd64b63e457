// Windows leaves wildcards to programs: how qxhost splits its command line, tells patterns from
// names, and which files a pattern stands for on which command.

#include <gtest/gtest.h>

#include "cli/arguments.h"
#include "support.h"
#include "sys/commandline.h"
#include "utl/text.h"

namespace qxhost {
namespace {

std::string Shown(const sys::CommandLineArgument& argument) {
  const char* kind = sys::IsWildcard(argument) ? "P:" : argument.quoted ? "Q:" : "U:";
  return kind + utl::ToUtf8(argument.text);
}

TEST(CommandLine, SplitsAndFindsPatternsAsTheSystemDoes) {
  for (const auto& row : vemra::test::Table("cli/command-lines.txt")) {
    SCOPED_TRACE(row[0]);
    std::vector<std::string> shown;
    for (const auto& argument : sys::SplitCommandLine(utl::FromUtf8(row[0]))) {
      shown.push_back(Shown(argument));
    }
    EXPECT_EQ(shown, std::vector<std::string>(row.begin() + 1, row.end()));
  }
}

std::vector<std::wstring> Folder(const std::wstring& pattern) {
  if (pattern.find(L"none") != std::wstring::npos) return {};
  return {L"b.ras", L".", L"a.ras", L".."};
}

TEST(CommandLine, PatternsGiveTheirFolderAndSortedNames) {
  using Names = std::vector<std::wstring>;
  EXPECT_EQ(sys::ExpandWildcard(L"*.ras", Folder), (Names{L"a.ras", L"b.ras"}));
  EXPECT_EQ(sys::ExpandWildcard(L"d\\e/*.ras", Folder), (Names{L"d\\e/a.ras", L"d\\e/b.ras"}));
  EXPECT_EQ(sys::ExpandWildcard(L"C:*", Folder), (Names{L"C:a.ras", L"C:b.ras"}));
  EXPECT_EQ(sys::ExpandWildcard(L"none*", Folder), Names{});
}

// Every argument a pattern: each word after the command stands for two files, an option's value
// for itself; convert IN OUT is two names whatever they match.
TEST(CommandLine, FilesOfEveryCommandButConvertsTwoExpand) {
  const WildcardExpander twice = [](std::size_t index) {
    return std::vector<std::wstring>{std::to_wstring(index) + L"a", std::to_wstring(index) + L"b"};
  };
  const auto files = [&](std::vector<std::wstring> args, const WildcardExpander& expand) {
    return ParseArguments(args, expand).files;
  };
  using Names = std::vector<std::wstring>;
  EXPECT_EQ(files({L"batch", L"--to", L"png", L"x"}, twice), (Names{L"3a", L"3b"}));
  EXPECT_EQ(files({L"--output-dir", L"d", L"convert", L"--to", L"png", L"x"}, twice),
            (Names{L"5a", L"5b"}));
  EXPECT_EQ(files({L"info", L"x", L"y"}, twice), (Names{L"1a", L"1b", L"2a", L"2b"}));
  EXPECT_EQ(files({L"convert", L"x", L"y.png"}, twice), (Names{L"x", L"y.png"}));
  const WildcardExpander nothing = [](std::size_t) { return std::vector<std::wstring>(); };
  EXPECT_EQ(files({L"check", L"x*"}, nothing), (Names{L"x*"}));
}

}  // namespace
}  // namespace qxhost
