// The system file layer on Windows: the wide-character calls take the host's paths as they are.
#include "sysfile.h"

#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#  define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <iterator>

namespace utl::sys {

namespace {

// Larger transfers go in pieces: ReadFile and WriteFile count in 32 bits.
constexpr std::size_t kMaxTransfer = 1u << 30;

HANDLE ToNative(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

std::wstring Reason(DWORD code) {
  wchar_t buffer[512];
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  // The system's sentences end in ".\r\n"; the host adds its own punctuation.
  while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' ' ||
                   buffer[n - 1] == L'.')) {
    --n;
  }
  if (n == 0) return L"system error " + std::to_wstring(code);
  return std::wstring(buffer, n);
}

std::wstring LastReason() { return Reason(::GetLastError()); }

// Paths at or over MAX_PATH need the extended-length form, which must be absolute and
// takes no "." or ".." components: GetFullPathNameW resolves both.
std::wstring Native(const std::wstring& path) {
  if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

DWORD Disposition(FileMode mode) {
  switch (mode) {
    case CreateNew: return CREATE_NEW;
    case CreateAlways: return CREATE_ALWAYS;
    case OpenExisting: break;
  }
  return OPEN_EXISTING;
}

}  // namespace

Handle Open(const std::wstring& path, FileAccess access, FileMode mode, FileSharing sharing,
            std::wstring& error) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened, as files must not be.
  const HANDLE handle =
      ::CreateFileW(Native(path).c_str(), access == AccessRead ? GENERIC_READ : GENERIC_WRITE,
                    sharing == ShareRead ? FILE_SHARE_READ : 0, nullptr, Disposition(mode),
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastReason();
    return kNoHandle;
  }
  return reinterpret_cast<Handle>(handle);
}

std::int64_t Read(Handle handle, void* buffer, std::size_t n, std::wstring& error) {
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min(n, kMaxTransfer));
  if (!::ReadFile(ToNative(handle), buffer, want, &got, nullptr)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return 0;
    error = Reason(code);
    return -1;
  }
  return got;
}

bool Write(Handle handle, const void* data, std::size_t n, std::wstring& error) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (n > 0) {
    DWORD put = 0;
    const auto want = static_cast<DWORD>(std::min(n, kMaxTransfer));
    if (!::WriteFile(ToNative(handle), bytes, want, &put, nullptr)) {
      error = LastReason();
      return false;
    }
    if (put == 0) {
      error = Reason(ERROR_WRITE_FAULT);
      return false;
    }
    bytes += put;
    n -= put;
  }
  return true;
}

std::int64_t Size(Handle handle) {
  LARGE_INTEGER size;
  return ::GetFileSizeEx(ToNative(handle), &size) ? size.QuadPart : -1;
}

bool Close(Handle handle, std::wstring& error) {
  if (!::CloseHandle(ToNative(handle))) {
    error = LastReason();
    return false;
  }
  return true;
}

bool Remove(const std::wstring& path) { return ::DeleteFileW(Native(path).c_str()) != 0; }

bool Replace(const std::wstring& source, const std::wstring& target) {
  return ::MoveFileExW(Native(source).c_str(), Native(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != 0;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(Native(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

unsigned long ProcessId() { return ::GetCurrentProcessId(); }

}  // namespace utl::sys
