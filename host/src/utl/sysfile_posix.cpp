// The system file layer on POSIX: wide paths become UTF-8.
#include "sysfile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "utl/error.h"
#include "utl/text.h"

namespace utl::UTL_SYSFILE_NAMESPACE {

namespace {

std::wstring Reason(int error) {
  return ErrnoText(error);
}

int OpenFlags(FileAccess access, FileMode mode) {
  int flags = O_CLOEXEC | (access == AccessRead ? O_RDONLY : O_WRONLY);
  if (mode == CreateNew) flags |= O_CREAT | O_EXCL;
  if (mode == CreateAlways) flags |= O_CREAT | O_TRUNC;
  return flags;
}

Handle OpenNative(const std::wstring& path, int flags, mode_t mode, std::wstring& error) {
  const std::string native = ToUtf8(path);
  int fd;
  do {
    fd = ::open(native.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) error = Reason(errno);
  return fd < 0 ? kNoHandle : fd;
}

bool Failed(int code, std::wstring& error) {
  error = Reason(code);
  return false;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Where path leads once the symbolic links of its last component are followed (the kernel
// follows the folders' links itself): a relative link counts from the link's folder. A dangling
// link leads to the name it holds. At most as many links as the kernel follows.
bool FollowLinks(std::string& path, int& code) {
  constexpr int kMaxLinks = 40;
  for (int links = 0;; ++links) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) {
      code = errno;
      return code == ENOENT;
    }
    if (!S_ISLNK(info.st_mode)) return true;
    char link[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
    code = length < 0              ? errno
           : links == kMaxLinks    ? ELOOP
           : length == sizeof link ? ENAMETOOLONG
                                   : 0;
    if (code != 0) return false;
    path = (link[0] == '/' ? std::string() : FolderOf(path)) +
           std::string(link, static_cast<std::size_t>(length));
  }
}

// The process's umask, read where the system shows it without changing it: umask() would set
// it for a moment, and a file another thread created then would be open to everyone. Where it
// cannot be read, 077, which leaves a new file private rather than too open.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, 6, "Umask:") == 0) {
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    }
  }
  return 077;
}

// Flushes the folder's entries, so that a rename in it survives a power cut. The rename has
// happened when this runs: a folder that cannot be flushed (some file systems refuse) does not
// make the save a failure.
void SyncFolderOf(const std::string& file) {
  const std::string folder = FolderOf(file);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

Handle Open(const std::wstring& path, FileAccess access, FileMode mode, FileSharing /*sharing*/,
            std::wstring& error) {
  const Handle handle = OpenNative(path, OpenFlags(access, mode), 0666, error);
  if (handle == kNoHandle) return kNoHandle;
  const int fd = static_cast<int>(handle);
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

bool WriteAt(Handle handle, std::int64_t offset, const void* data, std::size_t n,
             std::wstring& error) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const ssize_t put = ::pwrite(static_cast<int>(handle), bytes, n, static_cast<off_t>(offset));
    if (put < 0) {
      if (errno == EINTR) continue;
      error = Reason(errno);
      return false;
    }
    bytes += put;
    offset += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

std::int64_t Size(Handle handle) {
  struct stat info;
  return ::fstat(static_cast<int>(handle), &info) == 0 ? static_cast<std::int64_t>(info.st_size)
                                                       : -1;
}

bool Close(Handle handle, std::wstring& error) {
  if (::close(static_cast<int>(handle)) != 0 && errno != EINTR) {
    error = Reason(errno);
    return false;
  }
  return true;
}

bool Remove(const std::wstring& path) {
  return ::unlink(ToUtf8(path).c_str()) == 0;
}

bool Exists(const std::wstring& path) {
  struct stat info;
  return ::lstat(ToUtf8(path).c_str(), &info) == 0;
}

unsigned long ProcessId() {
  return static_cast<unsigned long>(::getpid());
}

// The kernel follows the links first, so that its own limits and protections (of links in
// shared sticky folders) decide whether they may be followed at all.
bool InspectTarget(const std::wstring& path, SaveTarget& target, std::wstring& error) {
  target = SaveTarget{};
  std::string native = ToUtf8(path);
  struct stat info;
  if (::stat(native.c_str(), &info) != 0) {
    if (errno != ENOENT) return Failed(errno, error);
  } else if (S_ISDIR(info.st_mode)) {
    return Failed(EISDIR, error);
  } else if (!S_ISREG(info.st_mode)) {
    target.kind = SaveTarget::Other;
    target.path = path;
    return true;
  } else {
    // As open() would decide: the effective user, access control lists, read-only mounts.
    if (::faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) != 0) return Failed(errno, error);
    target.kind = SaveTarget::Regular;
    target.mode = info.st_mode & 07777;
    target.owner = info.st_uid;
    target.group = info.st_gid;
  }
  int code = 0;
  if (!FollowLinks(native, code)) return Failed(code, error);
  target.path = FromUtf8(native);
  return true;
}

Handle CreatePrivate(const std::wstring& path, std::wstring& error) {
  return OpenNative(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600, error);
}

// A mode or owner that cannot be set (a file system without them, a user who may not give the
// file away) leaves the new file private: never more open than the old one.
bool Seal(Handle handle, const SaveTarget& target, std::wstring& error) {
  const int fd = static_cast<int>(handle);
  if (target.kind == SaveTarget::New) {
    ::fchmod(fd, 0666 & ~CurrentUmask());
    return true;
  }
  struct stat info;
  if (::fstat(fd, &info) == 0 && (info.st_uid != target.owner || info.st_gid != target.group) &&
      ::fchown(fd, static_cast<uid_t>(target.owner), static_cast<gid_t>(target.group)) != 0) {
    ::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(target.group));
  }
  // After the owner, whose change clears the set-id bits.
  ::fchmod(fd, static_cast<mode_t>(target.mode));
  if (::fsync(fd) != 0) return Failed(errno, error);
  return true;
}

bool Replace(const std::wstring& source, const SaveTarget& target, std::wstring& error) {
  const std::string to = ToUtf8(target.path);
  if (std::rename(ToUtf8(source).c_str(), to.c_str()) != 0) return Failed(errno, error);
  if (target.kind == SaveTarget::Regular) SyncFolderOf(to);
  return true;
}

bool ToNative(const std::wstring& path, NativeChar* out, std::size_t capacity) {
  const std::string native = ToUtf8(path);
  if (native.size() >= capacity) return false;
  std::memcpy(out, native.c_str(), native.size() + 1);
  return true;
}

void RemoveNative(const NativeChar* path) noexcept {
  ::unlink(path);
}

}  // namespace utl::UTL_SYSFILE_NAMESPACE
