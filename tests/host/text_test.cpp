#include "utl/text.h"

#include <gtest/gtest.h>

#include <string>

#if !defined(_WIN32)
#  include <sys/resource.h>
#endif

namespace {

TEST(Format, WideStringsNumbersAndPercent) {
  EXPECT_EQ(utl::Format(L"%s=%d", L"rows", -42), L"rows=-42");
  EXPECT_EQ(utl::Format(L"[%5s|%-3s|%.2s]", L"ab", L"c", L"xyz"), L"[   ab|c  |xy]");
  EXPECT_EQ(utl::Format(L"100%% of %s", L"\u00E4\U0001F600"), L"100% of \u00E4\U0001F600");
  EXPECT_EQ(utl::Format(L"%ls and %s", L"wide", L"too"), L"wide and too");
  for (std::size_t length : {255u, 256u, 257u, 1000u, 70000u}) {
    const std::wstring text(length, L'x');
    EXPECT_EQ(utl::Format(L"<%s>%d", text.c_str(), 7), L"<" + text + L">7") << length;
  }
}

#if !defined(_WIN32)
// The C library rejects this format the way it rejects a short buffer; growing without bound
// would cost tens of MiB for one message.
TEST(Format, MalformedFormatIsShownRawWithoutAHugeBuffer) {
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(utl::Format(L"done 100%"), L"done 100%");
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "peak grew by kB";
}
#endif

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::wstring wide;
  bool roundTrip;  // false: invalid UTF-8, decoding only
};
void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.name; }

class Utf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8, Converts) {
  EXPECT_EQ(utl::FromUtf8(GetParam().utf8), GetParam().wide);
  if (GetParam().roundTrip) {
    EXPECT_EQ(utl::ToUtf8(GetParam().wide), GetParam().utf8);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8,
    ::testing::Values(Utf8Case{"Empty", "", L"", true},
                      Utf8Case{"Ascii", "Bild 1.ras", L"Bild 1.ras", true},
                      Utf8Case{"TwoBytes", "\xC3\xA4", L"\u00E4", true},
                      Utf8Case{"ThreeBytes", "\xE2\x82\xAC\xE6\x97\xA5", L"\u20AC\u65E5", true},
                      Utf8Case{"OutsideBmp", "\xF0\x9F\x98\x80", L"\U0001F600", true},
                      Utf8Case{"Highest", "\xF4\x8F\xBF\xBF", L"\U0010FFFF", true},
                      Utf8Case{"Mixed", "a\xF0\x9F\x98\x80z\xC3\xA4", L"a\U0001F600z\u00E4", true},
                      Utf8Case{"StrayContinuation", "a\x80z", L"a\uFFFDz", false},
                      Utf8Case{"TruncatedAtEnd", "a\xE2\x82", L"a\uFFFD", false},
                      Utf8Case{"TruncatedBeforeAscii", "\xE2\x82z", L"\uFFFDz", false},
                      Utf8Case{"BadLeads", "\xFF\xFE", L"\uFFFD\uFFFD", false},
                      Utf8Case{"LeadThenLead", "\xC3\xC3\xA4", L"\uFFFD\u00E4", false}),
    [](const auto& info) { return std::string(info.param.name); });

// Well-formed shapes that encode no character: overlong forms, surrogates, beyond U+10FFFF.
TEST(Utf8Invalid, NonCharactersBecomeReplacementsOnly) {
  for (const char* bytes :
       {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF7\xBF\xBF\xBF"}) {
    const std::wstring wide = utl::FromUtf8(bytes);
    EXPECT_FALSE(wide.empty());
    EXPECT_EQ(wide.find_first_not_of(L'\uFFFD'), std::wstring::npos) << utl::ToUtf8(wide);
  }
  const std::wstring lone(1, static_cast<wchar_t>(0xD800));
  EXPECT_EQ(utl::ToUtf8(L"a" + lone + L"b"), "a\xEF\xBF\xBD" "b");
}

}  // namespace
