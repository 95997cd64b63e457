// The system file layer on Windows: the wide-character calls take the host's paths as they are.
#include "sysfile.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace utl::UTL_SYSFILE_NAMESPACE {

namespace {

// Larger transfers go in pieces: ReadFile and WriteFile count in 32 bits.
constexpr std::size_t kMaxTransfer = 1u << 30;

HANDLE ToNative(Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

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

std::wstring LastReason() {
  return Reason(::GetLastError());
}

// The absolute form of path; empty where the system cannot give one.
std::wstring FullPath(const std::wstring& path) {
  const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return {};
  std::wstring full(need, L'\0');
  const DWORD got = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  full.resize(got < need ? got : 0);
  return full;
}

// Paths at or over MAX_PATH need the extended-length form, which must be absolute and
// takes no "." or ".." components: GetFullPathNameW resolves both.
std::wstring Native(const std::wstring& path) {
  if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  const std::wstring full = FullPath(path);
  if (full.empty()) return path;
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

// A positioned WriteFile would leave the file pointer after the bytes it wrote; moving the
// pointer there and back keeps the next Write at the end.
bool WriteAt(Handle handle, std::int64_t offset, const void* data, std::size_t n,
             std::wstring& error) {
  LARGE_INTEGER here{};
  LARGE_INTEGER target{};
  target.QuadPart = offset;
  if (!::SetFilePointerEx(ToNative(handle), LARGE_INTEGER{}, &here, FILE_CURRENT) ||
      !::SetFilePointerEx(ToNative(handle), target, nullptr, FILE_BEGIN)) {
    error = LastReason();
    return false;
  }
  const bool written = Write(handle, data, n, error);
  if (!::SetFilePointerEx(ToNative(handle), here, nullptr, FILE_BEGIN) && written) {
    error = LastReason();
    return false;
  }
  return written;
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

bool Remove(const std::wstring& path) {
  return ::DeleteFileW(Native(path).c_str()) != 0;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(Native(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

unsigned long ProcessId() {
  return ::GetCurrentProcessId();
}

// What a file's successor takes over of its attributes.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The target is opened for writing, as an ordinary save would, and closed again untouched: the
// system says whether the user may write it (read-only files, access control lists, a file
// another program holds). The open follows symbolic links; a link's final file is what the
// save replaces.
bool InspectTarget(const std::wstring& path, SaveTarget& target, std::wstring& error) {
  target = SaveTarget{};
  target.path = path;
  const std::wstring native = Native(path);
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  // Windows opens a read-only file for writing only to a user who may change the attribute.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    error = Reason(ERROR_ACCESS_DENIED);
    return false;
  }
  const HANDLE probe = ::CreateFileW(native.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    // A missing folder is for the temporary file's creation to report.
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    error = Reason(code);
    return false;
  }
  target.kind = ::GetFileType(probe) == FILE_TYPE_DISK ? SaveTarget::Regular : SaveTarget::Other;
  if (attributes != INVALID_FILE_ATTRIBUTES) target.mode = attributes & kKeptAttributes;
  if (target.kind == SaveTarget::Regular && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    wchar_t resolved[32768];
    const DWORD length = ::GetFinalPathNameByHandleW(probe, resolved, std::size(resolved), 0);
    if (length > 0 && length < std::size(resolved)) target.path.assign(resolved, length);
  }
  ::CloseHandle(probe);
  return true;
}

// Shared for deletion, so that a console control handler can delete it while it is open.
Handle CreatePrivate(const std::wstring& path, std::wstring& error) {
  const HANDLE handle = ::CreateFileW(Native(path).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastReason();
    return kNoHandle;
  }
  return reinterpret_cast<Handle>(handle);
}

// ReplaceFileW passes the replaced file's attributes and security to the successor; the
// attributes are set here too, for systems whose ReplaceFileW does not (wine's).
bool Seal(Handle handle, const SaveTarget& target, std::wstring& error) {
  if (target.kind != SaveTarget::Regular) return true;
  FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
  basic.FileAttributes = target.mode != 0 ? target.mode : FILE_ATTRIBUTE_NORMAL;
  ::SetFileInformationByHandle(ToNative(handle), FileBasicInfo, &basic, sizeof basic);
  if (::FlushFileBuffers(ToNative(handle))) return true;
  error = LastReason();
  return false;
}

// ReplaceFileW keeps the replaced file's attributes, security, creation time and named
// streams; without a backup name, a failed one leaves the replaced file as it was. It gets
// absolute paths: wine's refuses a bare file name ("Directory name invalid").
bool Replace(const std::wstring& source, const SaveTarget& target, std::wstring& error) {
  const auto absolute = [](const std::wstring& path) {
    const std::wstring full = FullPath(path);
    return Native(full.empty() ? path : full);
  };
  const std::wstring from = absolute(source), to = absolute(target.path);
  const bool done = target.kind == SaveTarget::Regular
                        ? ::ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                                         REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                        : ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  if (!done) error = LastReason();
  return done;
}

bool ToNative(const std::wstring& path, NativeChar* out, std::size_t capacity) {
  const std::wstring native = Native(path);
  if (native.size() >= capacity) return false;
  std::copy(native.c_str(), native.c_str() + native.size() + 1, out);
  return true;
}

void RemoveNative(const NativeChar* path) noexcept {
  ::DeleteFileW(path);
}

}  // namespace utl::UTL_SYSFILE_NAMESPACE
