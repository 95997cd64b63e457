// The system file layer on POSIX: wide paths become UTF-8.
#include "sysfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "utl/text.h"

namespace utl::sys {

namespace {

std::wstring Reason(int error) { return FromUtf8(std::strerror(error)); }

int OpenFlags(FileAccess access, FileMode mode) {
  int flags = O_CLOEXEC | (access == AccessRead ? O_RDONLY : O_WRONLY);
  if (mode == CreateNew) flags |= O_CREAT | O_EXCL;
  if (mode == CreateAlways) flags |= O_CREAT | O_TRUNC;
  return flags;
}

}  // namespace

Handle Open(const std::wstring& path, FileAccess access, FileMode mode, FileSharing /*sharing*/,
            std::wstring& error) {
  const std::string native = ToUtf8(path);
  int fd;
  do {
    fd = ::open(native.c_str(), OpenFlags(access, mode), 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = Reason(errno);
    return kNoHandle;
  }
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    error = Reason(EISDIR);
    return kNoHandle;
  }
  return fd;
}

std::int64_t Read(Handle handle, void* buffer, std::size_t n, std::wstring& error) {
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(handle), buffer, n);
    if (got >= 0) return got;
    if (errno != EINTR) {
      error = Reason(errno);
      return -1;
    }
  }
}

bool Write(Handle handle, const void* data, std::size_t n, std::wstring& error) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(static_cast<int>(handle), bytes, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      error = Reason(errno);
      return false;
    }
    bytes += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

std::int64_t Size(Handle handle) {
  struct stat info;
  return ::fstat(static_cast<int>(handle), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

bool Close(Handle handle, std::wstring& error) {
  if (::close(static_cast<int>(handle)) != 0 && errno != EINTR) {
    error = Reason(errno);
    return false;
  }
  return true;
}

bool Remove(const std::wstring& path) { return ::unlink(ToUtf8(path).c_str()) == 0; }

bool Replace(const std::wstring& source, const std::wstring& target) {
  return std::rename(ToUtf8(source).c_str(), ToUtf8(target).c_str()) == 0;
}

bool Exists(const std::wstring& path) {
  struct stat info;
  return ::lstat(ToUtf8(path).c_str(), &info) == 0;
}

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

}  // namespace utl::sys
