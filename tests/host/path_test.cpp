#include "utl/path.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "testfiles.h"
#include "utl/error.h"
#include "utl/log.h"
#include "utl/text.h"

namespace {

using vemra::test::Bytes;
using vemra::test::TempDir;

TEST(Path, NameAndExtensionIsTheLastComponent) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"/data/in/bild.ras", L"bild.ras"},
      {L"bild.ras", L"bild.ras"},
      {L"/data/in/", L""},
      {L"", L""},
      {L"/data.d/bild", L"bild"},
      {L"rel/b\u00E4r \U0001F600.ras", L"b\u00E4r \U0001F600.ras"},
#if defined(_WIN32)
      {L"C:\\data\\bild.ras", L"bild.ras"},
      {L"C:bild.ras", L"bild.ras"},
#endif
  };
  for (const auto& [path, name] : cases) {
    EXPECT_EQ(utl::CPath(path).GetNameAndExtension(), name) << utl::ToUtf8(path);
  }
}

TEST(ReplaceFile, ReplacesWholeOrLeavesTheTargetAlone) {
  TempDir dir;
  const std::wstring target = dir.Put("target.ras", {1, 2, 3});
  const std::wstring source = dir.Put("new.tmp", {9, 8, 7, 6});
  ASSERT_TRUE(utl::ReplaceFile(source, target));
  EXPECT_EQ(vemra::test::ReadFile(dir / "target.ras"), (Bytes{9, 8, 7, 6}));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"target.ras"});

  EXPECT_FALSE(utl::ReplaceFile(dir.Wide("missing.tmp"), target));
  EXPECT_EQ(vemra::test::ReadFile(dir / "target.ras"), (Bytes{9, 8, 7, 6}));

  ASSERT_TRUE(utl::ReplaceFile(dir.Put("other.tmp", {5}), dir.Wide("fresh.ras")));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"fresh.ras", "target.ras"}));
}

TEST(TemporaryPathBeside, FreshPathInTheSameFolder) {
  TempDir dir;
  const std::wstring target = dir.Put("bild.ras", {1});
  const std::wstring first = utl::TemporaryPathBeside(target);
  EXPECT_EQ(utl::CPath(first).GetFolder(), utl::CPath(target).GetFolder());
  EXPECT_NE(first, target);
  EXPECT_FALSE(utl::FileExists(first));
  vemra::test::WriteFile(dir / utl::ToUtf8(utl::CPath(first).GetNameAndExtension()), {2});
  const std::wstring second = utl::TemporaryPathBeside(target);
  EXPECT_NE(second, first);
  EXPECT_FALSE(utl::FileExists(second));
  EXPECT_TRUE(utl::ReplaceFile(first, target));
  EXPECT_EQ(vemra::test::ReadFile(dir / "bild.ras"), Bytes{2});
}

TEST(LogExceptionInfo, RecordsTheHandledExceptionAndTheSite) {
  std::vector<std::wstring> lines;
  utl::SetLogSink([&](const std::wstring& line) { lines.push_back(line); });
  const std::pair<std::function<void()>, std::wstring> cases[] = {
      {[] { throw utl::CError(utl::ErrorKind::FileRead, L"x.cpp", 1, L"/d/in.ras", L"gone"); },
       L"Cannot read '/d/in.ras': gone"},
      {[] { throw std::runtime_error("b\xC3\xA4r broke"); }, L"b\u00E4r broke"},
      {[] { throw 42; }, L"unknown type"},
  };
  for (const auto& [raise, described] : cases) {
    lines.clear();
    try {
      raise();
    } catch (...) {
      utl::LogExceptionInfo(L"vemra", L"sunexportfilter.cpp", 77);
    }
    EXPECT_EQ(lines.size(), 1u);
    const std::wstring line = lines.empty() ? L"" : lines.back();
    EXPECT_EQ(line.rfind(L"vemra", 0), 0u) << utl::ToUtf8(line);
    EXPECT_NE(line.find(L"sunexportfilter.cpp:77"), std::wstring::npos);
    EXPECT_NE(line.find(described), std::wstring::npos) << utl::ToUtf8(line);
  }
  utl::SetLogSink({});
}

}  // namespace
