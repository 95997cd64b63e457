#include "utl/error.h"

#include <cstring>
#include <utility>

#include "utl/path.h"
#include "utl/text.h"

namespace utl {

namespace {

std::wstring Quoted(const std::wstring& path) {
  return L"'" + path + L"'";
}

std::wstring Site(const std::wstring& sourceFile, int line) {
  return CPath(sourceFile).GetNameAndExtension() + L":" + std::to_wstring(line);
}

// With own words the sentence is path: words; otherwise a stock sentence for the kind, never
// an empty one.
std::wstring Describe(ErrorKind kind, const std::wstring& sourceFile, int line,
                      const std::wstring& path, const std::wstring& message) {
  switch (kind) {
    case ErrorKind::EndBeforeBegin: return L"An export was ended that had not been begun.";
    case ErrorKind::Internal:
      return L"Internal error in the filter (" + Site(sourceFile, line) + L").";
    case ErrorKind::UnknownFormat:
      return L"The file " + Quoted(path) + L" is not in a format that can be read.";
    case ErrorKind::UnexpectedEof:
      return L"The file " + Quoted(path) + L" ends before its image data does.";
    case ErrorKind::FileOpen:
      return L"Cannot open " + Quoted(path) + (message.empty() ? L"." : L": " + message);
    case ErrorKind::FileRead:
      return L"Cannot read " + Quoted(path) + (message.empty() ? L"." : L": " + message);
    case ErrorKind::FileWrite:
      return L"Cannot write " + Quoted(path) + (message.empty() ? L"." : L": " + message);
    case ErrorKind::NotImplemented:
      return (message.empty() ? L"The filter does not support this operation." : message) +
             (path.empty() ? L"" : L" (" + Quoted(path) + L")");
    case ErrorKind::ImageTooLarge:
      return message.empty() ? L"The image is larger than the host accepts." : message;
    case ErrorKind::General:
      return message.empty() ? L"The filter failed (" + Site(sourceFile, line) + L")." : message;
  }
  return message;
}

// strerror_r comes in two kinds: the GNU one returns the text, the POSIX one fills the buffer.
// Both C libraries built for give every code a text, "Unknown error N" for one they do not know.
[[maybe_unused]] const char* ErrnoTextOf(const char* text, const char* /*buffer*/) {
  return text;
}
[[maybe_unused]] const char* ErrnoTextOf(int /*result*/, const char* buffer) {
  return buffer;
}

}  // namespace

std::wstring ErrnoText(int code) {
  char buffer[256] = {};
#if defined(_WIN32)
  strerror_s(buffer, sizeof buffer, code);
  return FromUtf8(buffer);
#else
  return FromUtf8(ErrnoTextOf(strerror_r(code, buffer, sizeof buffer), buffer));
#endif
}

IError::~IError() = default;

CError::CError(ErrorKind kind, std::wstring sourceFile, int line, std::wstring path,
               std::wstring message, std::wstring reason)
    : m_kind(kind),
      m_sourceFile(std::move(sourceFile)),
      m_line(line),
      m_path(std::move(path)),
      m_message(std::move(message)),
      m_reason(std::move(reason)) {
  m_sentence = Describe(m_kind, m_sourceFile, m_line, m_path, m_message);
  while (!m_sentence.empty() && (m_sentence.back() == L'\n' || m_sentence.back() == L' ')) {
    m_sentence.pop_back();
  }
  m_what = ToUtf8(m_sentence);
}

}  // namespace utl
