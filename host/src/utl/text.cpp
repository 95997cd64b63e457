#include "utl/text.h"

#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace utl {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// A byte that is not part of any UTF-8 character (a POSIX file name may hold any byte but 0)
// becomes the lone surrogate U+DC00 + byte, which no UTF-8 text can hold, and that surrogate
// becomes the byte again: a name keeps its bytes through the host's wide strings.
constexpr char32_t kEscapeBase = 0xDC00;

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

bool IsEscapedByte(char32_t c) {
  return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (IsEscapedByte(c)) {
    out += static_cast<char>(c - kEscapeBase);
    return;
  }
  if (c > 0x10FFFF || IsSurrogate(c)) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendWide(std::wstring& out, char32_t c) {
  if (sizeof(wchar_t) == 2 && c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (c >> 10));
    out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

// Decodes the character whose UTF-8 form starts at text[i] into c and returns the form's
// length; 0 where the bytes there are no character: a stray or cut-short sequence, an overlong
// form, a surrogate or a value past U+10FFFF.
std::size_t DecodeUtf8(const std::string& text, std::size_t i, char32_t& c) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  return c < minimum || c > 0x10FFFF || IsSurrogate(c) ? 0 : length;
}

// The host's formats use "%s" for wide strings; the C library's wide printf wants "%ls".
std::wstring WidenStringConversions(const wchar_t* format) {
  std::wstring out;
  for (const wchar_t* p = format; *p; ++p) {
    out += *p;
    if (*p != L'%') continue;
    ++p;
    if (*p == L'%') {
      out += *p;
      continue;
    }
    while (*p && std::wcschr(L"-+ #0123456789.*", *p)) out += *p++;
    if (*p == L's') out += L'l';
    if (!*p) break;
    out += *p;
  }
  return out;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const char32_t low = static_cast<char32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, i, c);
    if (length == 0) c = kEscapeBase + static_cast<unsigned char>(text[i]);
    AppendWide(out, c);
    i += length == 0 ? 1 : length;
  }
  return out;
}

std::wstring FormatV(const wchar_t* format, std::va_list args) {
  if (format == nullptr) return {};
  const std::wstring portable = WidenStringConversions(format);
  std::vector<wchar_t> buffer(256);
  for (;;) {
    std::va_list copy;
    va_copy(copy, args);
    const int n = std::vswprintf(buffer.data(), buffer.size(), portable.c_str(), copy);
    va_end(copy);
    if (n >= 0 && static_cast<std::size_t>(n) < buffer.size())
      return std::wstring(buffer.data(), n);
    // The C library answers -1 both for a short buffer and for a malformed format; a million
    // characters is past any message, so stop there and show the format as the caller wrote it.
    if (buffer.size() >= (std::size_t(1) << 20)) return format;
    buffer.resize(buffer.size() * 4);
  }
}

std::wstring LowerCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

}  // namespace utl
