#include "utl/safesave.h"

#include <atomic>
#include <chrono>

#include "sysfile.h"
#include "utl/error.h"
#include "utl/path.h"

namespace utl {

namespace {

// A hidden name in target's folder that no file has yet, so that the rename stays within one
// file system and is atomic.
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

}  // namespace

CSafeSave::CSafeSave() = default;

CSafeSave::~CSafeSave() { Discard(); }

void CSafeSave::Begin(const std::wstring& target) {
  const std::wstring next = target;  // target may be this save's own, which Discard clears
  Discard();
  // An empty name would mean "no save under way".
  if (next.empty()) {
    throw CError(ErrorKind::FileOpen, QXIO_WFILE, __LINE__, next, L"no file name given");
  }
  const std::wstring temporary = TemporaryPathBeside(next);
  try {
    m_file.Open(temporary, "wbx", ShareNone, false);
  } catch (const IError& error) {
    throw CError(error.Kind(), QXIO_WFILE, __LINE__, next, error.Message());
  }
  m_file.m_path = next;
  m_target = next;
  m_temporary = temporary;
}

bool CSafeSave::Commit() {
  if (!IsActive()) return false;
  try {
    m_file.Close();
  } catch (...) {
    // The last bytes may not have reached the disk: the file is not trusted.
    Discard();
    throw;
  }
  const bool replaced = sys::Replace(m_temporary, m_target);
  if (replaced) m_temporary.clear();
  Discard();
  return replaced;
}

void CSafeSave::Discard() {
  try {
    m_file.CloseNoThrow(false);
    if (!m_temporary.empty()) RemoveFile(m_temporary);
  } catch (...) {
  }
  m_temporary.clear();
  m_target.clear();
}

}  // namespace utl
