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

// Opens or creates a file. On failure returns kNoHandle and describes the cause in error.
Handle Open(const std::wstring& path, FileAccess access, FileMode mode, FileSharing sharing,
            std::wstring& error);
// Reads up to n bytes; returns the count (0 at the end of the file), or -1 with error set.
std::int64_t Read(Handle handle, void* buffer, std::size_t n, std::wstring& error);
// Writes all n bytes; false with error set when the system refuses.
bool Write(Handle handle, const void* data, std::size_t n, std::wstring& error);
// The file's size, or -1.
std::int64_t Size(Handle handle);
bool Close(Handle handle, std::wstring& error);

bool Remove(const std::wstring& path);
// Atomically replaces target with source (rename over).
bool Replace(const std::wstring& source, const std::wstring& target);
bool Exists(const std::wstring& path);
// A number that differs between processes, for unique file names.
unsigned long ProcessId();

}  // namespace utl::sys
