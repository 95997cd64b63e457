// Wide text helpers: UTF-8 conversion and printf-style wide formatting.
#pragma once

#include <cstdarg>
#include <string>

#include "utl/api.h"

namespace utl {

// Wide strings are UTF-16 on Windows and UTF-32 elsewhere; both convert losslessly. Bytes that
// are not UTF-8 (file names on POSIX are bytes) become U+DC80..U+DCFF, one for each, and come
// back as the same bytes; other lone surrogates become U+FFFD.
QXIO_API std::string ToUtf8(const std::wstring& text);
QXIO_API std::wstring FromUtf8(const std::string& text);

// printf-style formatting of a wide format. "%s" takes a wide string (const wchar_t*)
// on every platform, as the host's message formats expect.
QXIO_API std::wstring FormatV(const wchar_t* format, std::va_list args);

// text with its letters in lower case, for words whose case does not matter (options, file
// extensions).
QXIO_API std::wstring LowerCase(std::wstring text);

}  // namespace utl
