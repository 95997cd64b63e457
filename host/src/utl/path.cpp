#include "utl/path.h"

#include <atomic>
#include <chrono>

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

std::wstring CPath::GetNameAndExtension() const { return m_path.substr(NameStart(m_path)); }

std::wstring CPath::GetFolder() const { return m_path.substr(0, NameStart(m_path)); }

bool RemoveFile(const std::wstring& path) { return sys::Remove(path); }

bool ReplaceFile(const std::wstring& source, const std::wstring& target) {
  return sys::Replace(source, target);
}

bool FileExists(const std::wstring& path) { return sys::Exists(path); }

std::wstring TemporaryPathBeside(const std::wstring& target) {
  static std::atomic<unsigned> counter{0};
  const CPath path(target);
  const auto clock = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (;;) {
    const unsigned long long tag = (clock * 31u + counter++) % 1000000007ull;
    std::wstring candidate = path.GetFolder() + L"." + path.GetNameAndExtension() + L"." +
                             std::to_wstring(sys::ProcessId()) + L"-" + std::to_wstring(tag) +
                             L".tmp";
    if (!sys::Exists(candidate)) return candidate;
  }
}

}  // namespace utl
