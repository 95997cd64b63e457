// The command line: how qxhost splits it and tells patterns from names (Windows leaves wildcards
// to programs), which files a pattern stands for, and the worker count the batch is given.

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

// No output shows how many files a batch converts at once, so the parsed count is checked here.
TEST(Arguments, JobsInEverySpelling) {
  using Words = std::vector<std::wstring>;
  for (const Words& jobs : std::vector<Words>{{L"-j", L"3"}, {L"-j3"}, {L"--jobs=3"}}) {
    Words args{L"batch", L"--to", L"png", L"a.ras"};
    args.insert(args.begin() + 1, jobs.begin(), jobs.end());
    EXPECT_EQ(ParseArguments(args).jobs, 3u) << utl::ToUtf8(jobs[0]);
  }
}

}  // namespace
}  // namespace qxhost
