// Buffered file I/O over the operating system's files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "utl/api.h"

namespace utl {

enum class ErrorKind;

enum FileSharing : int { ShareNone = 0, ShareRead = 1 };
enum FileAccess : int { AccessRead = 1, AccessWrite = 2 };
enum FileMode : int {
  CreateNew = 1,     // create; fail if the file exists
  CreateAlways = 2,  // create or truncate
  OpenExisting = 3,  // open; fail if the file does not exist
};

// A file opened either for reading or for writing, with one buffer. Small reads and writes
// are served from the buffer inline; only refills, flushes and large transfers reach the
// system.
class QXIO_API CBufferedFile {
public:
  static constexpr std::size_t kBufferSize = 256 * 1024;

  CBufferedFile();
  ~CBufferedFile();  // closes an open file, raising nothing
  CBufferedFile(const CBufferedFile&) = delete;
  CBufferedFile& operator=(const CBufferedFile&) = delete;

  // Modes: "rb" reads an existing file; "wb" creates or truncates and writes;
  // "wbx" creates a new file and fails if one exists. Opening an open file closes it first.
  // The sharing value and the flag are the host's; this implementation ignores them on POSIX.
  void Open(const std::wstring& path, const std::string& mode, FileSharing sharing, bool flag);
  bool OpenNoThrow(const std::wstring& path, const std::string& mode, FileSharing sharing,
                   bool flag);
  bool OpenNoThrow(const std::wstring& path, FileAccess access, FileMode mode, FileSharing sharing,
                   bool flag);
  bool IsOpen() const { return m_handle != kNoHandle; }

  // Returns the number of bytes read: fewer than n only at the end of the file.
  // Raises the host's error when the system reports a read error.
  // The inline paths work on a local copy of the cursor: the copy may alias the members, and
  // reloading them after it would put a memory round trip on every small call.
  std::size_t Read(void* buffer, std::size_t n) {
    std::uint8_t* const cur = m_readCur;
    if (n <= static_cast<std::size_t>(m_readEnd - cur)) {
      std::memcpy(buffer, cur, n);
      m_readCur = cur + n;
      return n;
    }
    return ReadSlow(buffer, n);
  }

  // Writes all n bytes or raises the host's error.
  void Write(const void* data, std::size_t n) {
    std::uint8_t* const cur = m_writeCur;
    if (n <= static_cast<std::size_t>(m_writeEnd - cur)) {
      std::memcpy(cur, data, n);
      m_writeCur = cur + n;
      return;
    }
    WriteSlow(data, n);
  }

  // Puts n bytes over bytes already written, starting at offset, and leaves the position
  // where it was: for a format whose header holds a size known only once the data is
  // written. Raises the host's error as Write does, and for bytes not yet written.
  void Overwrite(std::int64_t offset, const void* data, std::size_t n);

  std::int64_t GetPosition() const;
  std::int64_t GetLength() const;

  void Close();  // flushes and closes; raises when the flush or the close fails
  void CloseNoThrow(bool flag);

  // The system's text for the last read, write, flush or close of this file that the system
  // refused ("No space left on device"); empty when none has failed since the file was opened.
  // It outlives Close, so that a caller that turns the failure into words of its own can still
  // pass the system's along. The errors the file raises carry the same text as their Reason.
  const std::wstring& LastSystemError() const noexcept { return m_lastSystemError; }

private:
  // Opens its files itself, flushes before it seals them, and has their errors name the file
  // they replace.
  friend class CSafeSave;
  // Creates its files itself, private to their owner.
  friend std::wstring CreateTemporaryFile(CBufferedFile& file, const std::wstring& stem,
                                          const std::wstring& suffix, int& slot);
  static constexpr std::intptr_t kNoHandle = -1;

  // A closed file takes over handle, open as access, with errors naming path.
  void Adopt(std::intptr_t handle, FileAccess access, const std::wstring& path);
  bool OpenImpl(const std::wstring& path, FileAccess access, FileMode mode, FileSharing sharing,
                bool raise);
  std::size_t ReadSlow(void* buffer, std::size_t n);
  void WriteSlow(const void* data, std::size_t n);
  void Flush();
  std::size_t FillBuffer();
  std::size_t SystemRead(void* buffer, std::size_t n);
  void SystemWrite(const void* data, std::size_t n);
  [[noreturn]] void RaiseReadError(const std::wstring& reason) const;
  [[noreturn]] void RaiseWriteError(const std::wstring& reason) const;
  // For a failure of the system's own: recorded as the last system error and carried as the
  // raised error's reason.
  [[noreturn]] void RaiseSystemError(ErrorKind kind, const std::wstring& reason);

  std::unique_ptr<std::uint8_t[]> m_buffer;
  // Read window: buffered bytes not yet handed out. Empty in a file open for writing.
  std::uint8_t* m_readCur = nullptr;
  std::uint8_t* m_readEnd = nullptr;
  // Write window: free room in the buffer. Empty in a file open for reading.
  std::uint8_t* m_writeCur = nullptr;
  std::uint8_t* m_writeEnd = nullptr;
  std::intptr_t m_handle = kNoHandle;
  std::int64_t m_systemPosition = 0;  // where the system's file pointer stands
  std::wstring m_path;                // as errors name the file
  std::wstring m_lastSystemError;
  bool m_writing = false;
};

}  // namespace utl
