// The system layer of the fault-injection build: the real one is compiled into utl::os.
#include "faultyfiles.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include "sysfile.h"
#include "utl/error.h"

namespace vemra::test {
namespace {

struct Tracked {
  FileFaults faults;
  std::int64_t position = 0;
};

std::mutex g_mutex;
FileFaults g_faults;
std::map<utl::sys::Handle, Tracked> g_files;

bool Failing(const FileFaults& faults) {
  return faults.failReadAt >= 0 || faults.failWriteAt >= 0 || faults.failSync;
}

int Code(const FileFaults& faults, int otherwise) {
  return faults.error != 0 ? faults.error : otherwise;
}

utl::sys::Handle Track(utl::sys::Handle handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (handle == utl::sys::kNoHandle || !Failing(g_faults)) return handle;
  g_files[handle] = Tracked{g_faults, 0};
  return handle;
}

// The faults the file was opened with, or none.
Tracked* Find(utl::sys::Handle handle) {
  const auto found = g_files.find(handle);
  return found == g_files.end() ? nullptr : &found->second;
}

bool Fail(int code, std::wstring& error) {
  error = utl::ErrnoText(code);
  return false;
}

}  // namespace

void SetFileFaults(const FileFaults& faults) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_faults = faults;
}

}  // namespace vemra::test

namespace utl::sys {

using namespace vemra::test;

Handle Open(const std::wstring& path, FileAccess access, FileMode mode, FileSharing sharing,
            std::wstring& error) {
  return Track(os::Open(path, access, mode, sharing, error));
}

Handle CreatePrivate(const std::wstring& path, std::wstring& error) {
  return Track(os::CreatePrivate(path, error));
}

// Up to the failing byte, then a failure; the end of the file comes first where it is there.
std::int64_t Read(Handle handle, void* buffer, std::size_t n, std::wstring& error) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Tracked* file = Find(handle);
  if (file == nullptr || file->faults.failReadAt < 0) return os::Read(handle, buffer, n, error);
  const std::int64_t room = file->faults.failReadAt - file->position;
  const std::size_t take = room > 0 ? std::min<std::size_t>(n, std::size_t(room)) : n;
  const std::int64_t got = os::Read(handle, buffer, take, error);
  if (got <= 0 || room > 0) {
    file->position += std::max<std::int64_t>(got, 0);
    return got;
  }
  if (file->faults.endsAtFailedRead) return 0;
  Fail(Code(file->faults, EIO), error);
  return -1;
}

// What fits before the failing byte is written, as a full disk takes it, then a failure.
bool Write(Handle handle, const void* data, std::size_t n, std::wstring& error) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Tracked* file = Find(handle);
  if (file == nullptr || file->faults.failWriteAt < 0) return os::Write(handle, data, n, error);
  const std::int64_t room = std::max<std::int64_t>(file->faults.failWriteAt - file->position, 0);
  const std::size_t put = std::min<std::size_t>(n, std::size_t(room));
  if (!os::Write(handle, data, put, error)) return false;
  file->position += std::int64_t(put);
  return put == n || Fail(Code(file->faults, ENOSPC), error);
}

bool WriteAt(Handle handle, std::int64_t offset, const void* data, std::size_t n,
             std::wstring& error) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const Tracked* file = Find(handle);
  if (file != nullptr && file->faults.failWriteAt >= 0 &&
      offset + std::int64_t(n) > file->faults.failWriteAt) {
    return Fail(Code(file->faults, ENOSPC), error);
  }
  return os::WriteAt(handle, offset, data, n, error);
}

bool Seal(Handle handle, const SaveTarget& target, std::wstring& error) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const Tracked* file = Find(handle);
  if (file != nullptr && file->faults.failSync) return Fail(Code(file->faults, EIO), error);
  return os::Seal(handle, target, error);
}

bool Replace(const std::wstring& source, const SaveTarget& target, std::wstring& error) {
  return os::Replace(source, target, error);
}

bool Close(Handle handle, std::wstring& error) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_files.erase(handle);
  }
  return os::Close(handle, error);
}

std::int64_t Size(Handle handle) {
  return os::Size(handle);
}
bool Remove(const std::wstring& path) {
  return os::Remove(path);
}
bool Exists(const std::wstring& path) {
  return os::Exists(path);
}
unsigned long ProcessId() {
  return os::ProcessId();
}
bool InspectTarget(const std::wstring& path, SaveTarget& target, std::wstring& error) {
  return os::InspectTarget(path, target, error);
}
bool ToNative(const std::wstring& path, NativeChar* out, std::size_t capacity) {
  return os::ToNative(path, out, capacity);
}
void RemoveNative(const NativeChar* path) noexcept {
  os::RemoveNative(path);
}

}  // namespace utl::sys
