// The operating system's files, behind one small interface: sysfile_posix.cpp and
// sysfile_win32.cpp implement it. Paths arrive as the host's wide strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "utl/bufferedfile.h"

namespace utl::sys {

using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

// What a save finds where it is asked to write.
struct SaveTarget {
  enum Kind {
    New,      // nothing there yet
    Regular,  // a file, replaced by its successor
    Other,    // a device or a pipe, written in place
  };
  Kind kind = New;
  std::wstring path;  // what the save writes: symbolic links followed
  // A regular file's permission bits, owner and group (POSIX) or attributes (Windows), which
  // its successor takes over.
  std::uint32_t mode = 0;
  std::int64_t owner = -1;
  std::int64_t group = -1;
};

// Paths in the system's own form, for signal handlers, which may not allocate.
#if defined(_WIN32)
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif

}  // namespace utl::sys

// The calls live in utl::sys. The tests' fault-injection build of the library compiles the
// system's implementation of them into another namespace, named here, and puts calls of its
// own in utl::sys that fail on demand and pass everything else on.
#if !defined(UTL_SYSFILE_NAMESPACE)
#define UTL_SYSFILE_NAMESPACE sys
#endif

namespace utl::UTL_SYSFILE_NAMESPACE {

using namespace utl::sys;  // the types above, where the calls live elsewhere

// Opens or creates a file. On failure returns kNoHandle and describes the cause in error.
Handle Open(const std::wstring& path, FileAccess access, FileMode mode, FileSharing sharing,
            std::wstring& error);
// Reads up to n bytes; returns the count (0 at the end of the file), or -1 with error set.
std::int64_t Read(Handle handle, void* buffer, std::size_t n, std::wstring& error);
// Writes all n bytes; false with error set when the system refuses.
bool Write(Handle handle, const void* data, std::size_t n, std::wstring& error);
// Writes all n bytes at offset and leaves the file pointer where it was; false with error set
// when the system refuses.
bool WriteAt(Handle handle, std::int64_t offset, const void* data, std::size_t n,
             std::wstring& error);
// The file's size, or -1.
std::int64_t Size(Handle handle);
bool Close(Handle handle, std::wstring& error);

bool Remove(const std::wstring& path);
bool Exists(const std::wstring& path);
// A number that differs between processes, for unique file names.
unsigned long ProcessId();

// Follows the symbolic links from path and says what stands at their end. False, with the
// system's reason, where the user may not write: a file without write permission (read-only
// on Windows), a folder, a loop of links.
bool InspectTarget(const std::wstring& path, SaveTarget& target, std::wstring& error);
// Creates a new file for writing that only its owner may read where the system has
// permission bits; fails if something has the name.
Handle CreatePrivate(const std::wstring& path, std::wstring& error);
// Readies the complete successor of target, open as handle: it takes over the replaced file's
// permissions (a new file the mode the umask gives) and, when it replaces a file, its data
// is flushed to the disk.
bool Seal(Handle handle, const SaveTarget& target, std::wstring& error);
// Moves source to target.path in one step; when that replaces a file, the move too is
// flushed to the disk.
bool Replace(const std::wstring& source, const SaveTarget& target, std::wstring& error);

// Writes path's system form, terminated, into out; false when it does not fit.
bool ToNative(const std::wstring& path, NativeChar* out, std::size_t capacity);
// Deletes the file; async-signal-safe.
void RemoveNative(const NativeChar* path) noexcept;

}  // namespace utl::UTL_SYSFILE_NAMESPACE
