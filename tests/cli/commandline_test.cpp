// Windows leaves wildcards to programs: how qxhost splits its command line, tells patterns from
// names, and which files a pattern stands for on which command.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qxhost
