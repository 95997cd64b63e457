#include "utl/path.h"

#include "sysfile.h"

namespace utl {

namespace {

#if defined(_WIN32)
constexpr const wchar_t* kSeparators = L"\\/:";
#else
constexpr const wchar_t* kSeparators = L"/";
#endif

std::size_t NameStart(const std::wstring& path) {
  const std::size_t last = path.find_last_of(kSeparators);
  return last == std::wstring::npos ? 0 : last + 1;
}

}  // namespace

CPath::CPath(const std::wstring& path) : m_path(path) {}

std::wstring CPath::GetNameAndExtension() const {
  return m_path.substr(NameStart(m_path));
}

std::wstring CPath::GetFolder() const {
  return m_path.substr(0, NameStart(m_path));
}

bool RemoveFile(const std::wstring& path) {
  return sys::Remove(path);
}

}  // namespace utl
