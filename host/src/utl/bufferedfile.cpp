#include "utl/bufferedfile.h"

#include <algorithm>

#include "sysfile.h"
#include "utl/error.h"

namespace utl {

namespace {

struct ModeFlags {
  bool valid;
  FileAccess access;
  FileMode mode;
};

ModeFlags ParseMode(const std::string& mode) {
  if (mode == "rb") return {true, AccessRead, OpenExisting};
  if (mode == "wb") return {true, AccessWrite, CreateAlways};
  if (mode == "wbx") return {true, AccessWrite, CreateNew};
  return {false, AccessRead, OpenExisting};
}

}  // namespace

// The windows point into the buffer from the start, so that a file that was never opened (or
// failed to open) has position 0 and copies nothing from a null pointer.
CBufferedFile::CBufferedFile() : m_buffer(new std::uint8_t[kBufferSize]) {
  m_readCur = m_readEnd = m_writeCur = m_writeEnd = m_buffer.get();
}

CBufferedFile::~CBufferedFile() {
  CloseNoThrow(false);
}

void CBufferedFile::Open(const std::wstring& path, const std::string& mode, FileSharing sharing,
                         bool /*flag*/) {
  const ModeFlags flags = ParseMode(mode);
  if (!flags.valid) {
    throw CError(ErrorKind::FileOpen, QXIO_WFILE, __LINE__, path, L"unsupported open mode");
  }
  OpenImpl(path, flags.access, flags.mode, sharing, true);
}

bool CBufferedFile::OpenNoThrow(const std::wstring& path, const std::string& mode,
                                FileSharing sharing, bool /*flag*/) {
  const ModeFlags flags = ParseMode(mode);
  return flags.valid && OpenNoThrow(path, flags.access, flags.mode, sharing, false);
}

bool CBufferedFile::OpenNoThrow(const std::wstring& path, FileAccess access, FileMode mode,
                                FileSharing sharing, bool /*flag*/) {
  try {
    return OpenImpl(path, access, mode, sharing, false);
  } catch (...) {
    return false;
  }
}

bool CBufferedFile::OpenImpl(const std::wstring& path, FileAccess access, FileMode mode,
                             FileSharing sharing, bool raise) {
  if (IsOpen()) Close();
  std::wstring reason;
  const sys::Handle handle = sys::Open(path, access, mode, sharing, reason);
  if (handle == sys::kNoHandle) {
    if (raise) throw CError(ErrorKind::FileOpen, QXIO_WFILE, __LINE__, path, reason, reason);
    return false;
  }
  Adopt(handle, access, path);
  return true;
}

void CBufferedFile::Adopt(std::intptr_t handle, FileAccess access, const std::wstring& path) {
  m_handle = handle;
  m_path = path;
  m_lastSystemError.clear();
  m_writing = access == AccessWrite;
  // Closed, the file's buffer is empty and its position 0.
  if (m_writing) m_writeEnd = m_buffer.get() + kBufferSize;
}

std::int64_t CBufferedFile::GetPosition() const {
  return m_systemPosition + (m_writeCur - m_buffer.get()) - (m_readEnd - m_readCur);
}

std::int64_t CBufferedFile::GetLength() const {
  if (!IsOpen()) return 0;
  return std::max(sys::Size(m_handle), GetPosition());
}

std::size_t CBufferedFile::ReadSlow(void* buffer, std::size_t n) {
  if (!IsOpen() || m_writing) RaiseReadError(L"the file is not open for reading");
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  for (;;) {
    const std::size_t take = std::min<std::size_t>(m_readEnd - m_readCur, n - done);
    std::memcpy(out + done, m_readCur, take);
    m_readCur += take;
    done += take;
    if (done == n) break;
    if (n - done >= kBufferSize) {
      // A large request goes straight into the caller's memory: one copy, not two.
      while (done < n) {
        const std::size_t got = SystemRead(out + done, n - done);
        if (got == 0) break;
        done += got;
      }
      break;
    }
    if (FillBuffer() == 0) break;
  }
  return done;
}

std::size_t CBufferedFile::FillBuffer() {
  m_readCur = m_readEnd = m_buffer.get();
  const std::size_t got = SystemRead(m_buffer.get(), kBufferSize);
  m_readEnd = m_buffer.get() + got;
  return got;
}

void CBufferedFile::WriteSlow(const void* data, std::size_t n) {
  if (!IsOpen() || !m_writing) RaiseWriteError(L"the file is not open for writing");
  if (n > static_cast<std::size_t>(m_writeEnd - m_writeCur)) {
    Flush();
    if (n >= kBufferSize) {
      SystemWrite(data, n);
      return;
    }
  }
  std::memcpy(m_writeCur, data, n);
  m_writeCur += n;
}

void CBufferedFile::Overwrite(std::int64_t offset, const void* data, std::size_t n) {
  if (!IsOpen() || !m_writing) RaiseWriteError(L"the file is not open for writing");
  const std::int64_t end = offset + static_cast<std::int64_t>(n);
  if (offset < 0 || end > GetPosition()) {
    RaiseWriteError(L"the bytes to overwrite have not been written");
  }
  // Bytes still in the buffer change there; others once the buffer has gone to the system.
  if (offset >= m_systemPosition) {
    std::memcpy(m_buffer.get() + (offset - m_systemPosition), data, n);
    return;
  }
  Flush();
  std::wstring reason;
  if (!sys::WriteAt(m_handle, offset, data, n, reason)) {
    RaiseSystemError(ErrorKind::FileWrite, reason);
  }
}

void CBufferedFile::Flush() {
  const std::size_t pending = static_cast<std::size_t>(m_writeCur - m_buffer.get());
  m_writeCur = m_buffer.get();
  SystemWrite(m_buffer.get(), pending);  // nothing pending writes nothing
}

std::size_t CBufferedFile::SystemRead(void* buffer, std::size_t n) {
  std::wstring reason;
  const std::int64_t got = sys::Read(m_handle, buffer, n, reason);
  if (got < 0) RaiseSystemError(ErrorKind::FileRead, reason);
  m_systemPosition += got;
  return static_cast<std::size_t>(got);
}

void CBufferedFile::SystemWrite(const void* data, std::size_t n) {
  std::wstring reason;
  if (!sys::Write(m_handle, data, n, reason)) RaiseSystemError(ErrorKind::FileWrite, reason);
  m_systemPosition += static_cast<std::int64_t>(n);
}

void CBufferedFile::Close() {
  if (!IsOpen()) return;
  const sys::Handle handle = m_handle;
  const bool writing = m_writing;
  std::wstring reason;
  bool flushed = true;
  try {
    Flush();
  } catch (const CError& error) {
    flushed = false;
    reason = error.Reason();
  }
  std::wstring closeReason;
  const bool closed = sys::Close(handle, closeReason);
  m_handle = kNoHandle;
  m_systemPosition = 0;
  m_readCur = m_readEnd = m_writeCur = m_writeEnd = m_buffer.get();
  if (!flushed) RaiseSystemError(ErrorKind::FileWrite, reason);
  if (!closed) RaiseSystemError(writing ? ErrorKind::FileWrite : ErrorKind::FileRead, closeReason);
}

void CBufferedFile::CloseNoThrow(bool /*flag*/) {
  try {
    Close();
  } catch (...) {
  }
}

void CBufferedFile::RaiseReadError(const std::wstring& reason) const {
  throw CError(ErrorKind::FileRead, QXIO_WFILE, __LINE__, m_path, reason);
}

void CBufferedFile::RaiseWriteError(const std::wstring& reason) const {
  throw CError(ErrorKind::FileWrite, QXIO_WFILE, __LINE__, m_path, reason);
}

void CBufferedFile::RaiseSystemError(ErrorKind kind, const std::wstring& reason) {
  m_lastSystemError = reason;
  throw CError(kind, QXIO_WFILE, __LINE__, m_path, reason, reason);
}

}  // namespace utl
