#include "utl/path.h"

#include "sysfile.h"

namespace utl {

CPath::CPath(const std::wstring& path) : m_path(path) {}

bool CPath::IsSeparator(wchar_t c) {
#if defined(_WIN32)
  return c == L'\\' || c == L'/' || c == L':';
#else
  return c == L'/';
#endif
}

std::size_t CPath::NameStart() const {
  std::size_t start = m_path.size();
  while (start > 0 && !IsSeparator(m_path[start - 1])) --start;
  return start;
}

std::size_t CPath::ExtensionDot() const {
  const std::size_t start = NameStart();
  const std::size_t dot = m_path.rfind(L'.');
  return dot != std::wstring::npos && dot > start ? dot : m_path.size();
}

std::wstring CPath::GetNameAndExtension() const {
  return m_path.substr(NameStart());
}

std::wstring CPath::GetName() const {
  const std::size_t start = NameStart();
  return m_path.substr(start, ExtensionDot() - start);
}

std::wstring CPath::GetExtension() const {
  const std::size_t dot = ExtensionDot();
  return dot < m_path.size() ? m_path.substr(dot + 1) : std::wstring();
}

std::wstring CPath::GetFolder() const {
  return m_path.substr(0, NameStart());
}

bool RemoveFile(const std::wstring& path) {
  return sys::Remove(path);
}

}  // namespace utl
