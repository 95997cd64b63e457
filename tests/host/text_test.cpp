#include "utl/text.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#if !defined(_WIN32)
#  include <sys/resource.h>
#endif

namespace {

std::wstring Format(const wchar_t* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::wstring text = utl::FormatV(format, args);
  va_end(args);
  return text;
}

TEST(Format, WideStringsNumbersAndPercent) {
  EXPECT_EQ(Format(L"%s=%d", L"rows", -42), L"rows=-42");
  EXPECT_EQ(Format(L"[%5s|%-3s|%.2s]", L"ab", L"c", L"xyz"), L"[   ab|c  |xy]");
  EXPECT_EQ(Format(L"100%% of %s", L"\u00E4\U0001F600"), L"100% of \u00E4\U0001F600");
  EXPECT_EQ(Format(L"%ls and %s", L"wide", L"too"), L"wide and too");
  for (std::size_t length : {255u, 256u, 257u, 70000u}) {
    const std::wstring text(length, L'x');
    EXPECT_EQ(Format(L"<%s>%d", text.c_str(), 7), L"<" + text + L">7") << length;
  }
}

#if !defined(_WIN32)
// The C library rejects this format the way it rejects a short buffer; growing without bound
// would cost tens of MiB for one message.
TEST(Format, MalformedFormatIsShownRawWithoutAHugeBuffer) {
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(Format(L"done 100%"), L"done 100%");
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "peak grew by kB";
}
#endif

// Valid text round-trips; invalid bytes and well-formed shapes that encode no character
// (overlong forms, surrogates, beyond U+10FFFF) decode to replacement characters.
TEST(Utf8, RoundTripsAndReplacesWhatIsNoCharacter) {
  const std::pair<std::string, std::wstring> valid[] = {
      {"", L""}, {"Bild 1.ras", L"Bild 1.ras"}, {"\xC3\xA4", L"\u00E4"},
      {"\xE2\x82\xAC\xE6\x97\xA5", L"\u20AC\u65E5"}, {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
      {"a\xF0\x9F\x98\x80z\xC3\xA4", L"a\U0001F600z\u00E4"}};
  for (const auto& [utf8, wide] : valid) {
    EXPECT_EQ(utl::FromUtf8(utf8), wide) << utf8;
    EXPECT_EQ(utl::ToUtf8(wide), utf8);
  }
  const std::pair<std::string, std::wstring> invalid[] = {
      {"a\x80z", L"a\uFFFDz"},      {"a\xE2\x82", L"a\uFFFD"},       {"\xE2\x82z", L"\uFFFDz"},
      {"\xFF\xFE", L"\uFFFD\uFFFD"}, {"\xC3\xC3\xA4", L"\uFFFD\u00E4"}};
  for (const auto& [utf8, wide] : invalid) EXPECT_EQ(utl::FromUtf8(utf8), wide) << utf8;
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
