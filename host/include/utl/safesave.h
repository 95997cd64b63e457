// Saving over a file without putting it at risk.
#pragma once

#include <memory>
#include <string>

#include "utl/api.h"
#include "utl/bufferedfile.h"

namespace utl {

namespace sys {
struct SaveTarget;
}

// Writes the next content of a file beside it and puts it in place only when it is complete,
// so that the target is either its old self or the whole new content, never a mixture or
// nothing. A save that is discarded, fails or is destroyed unfinished removes what it wrote
// and leaves the target as it was. Every save of the host's programs and filters goes
// through this class, and its errors name the target, never the temporary file, which the
// user did not ask for.
//
// What stands at the target decides the rest:
// - a file the user may not write is refused, before anything is written;
// - a symbolic link is followed (a relative one from its folder), and the file it names is
//   replaced, or created if there is none: the link stays a link;
// - a file that is replaced hands its permissions, owner and group (where the process may
//   set them) to its successor, and the successor is flushed to the disk before it takes the
//   old file's place, the folder after it; a new file gets the mode the umask leaves, and is
//   not flushed, as no earlier content is at stake. The temporary file is private to its
//   owner until then;
// - other names of a file (hard links) keep its old content: the new one is another file;
// - a device or a pipe cannot be replaced: it is written in place, as it is.
class QXIO_API CSafeSave {
public:
  CSafeSave();
  ~CSafeSave();  // discards an unfinished save
  CSafeSave(const CSafeSave&) = delete;
  CSafeSave& operator=(const CSafeSave&) = delete;

  // Discards any save under way and begins one for target, with an empty file open for
  // writing. Raises the host's error, for target, when the target may not be written or no
  // file can be created beside it.
  void Begin(const std::wstring& target);
  // Between Begin and the end of the save by Commit or Discard.
  bool IsActive() const { return !m_target.empty(); }
  const std::wstring& Target() const { return m_target; }
  // Where the new content goes; its errors name the target.
  CBufferedFile& File() { return m_file; }

  // Ends the save: flushes and closes the file and puts it in the target's place. Does nothing
  // when no save is under way. Raises the host's error, for the target, when anything fails;
  // nothing of the save then remains, and the target is as it was.
  void Commit();
  // Ends the save, removing what it wrote; the target stays as it was. Raises nothing.
  void Discard() noexcept;

private:
  void Seal();

  std::wstring m_target;
  std::wstring m_temporary;  // empty when the target is written in place
  std::unique_ptr<sys::SaveTarget> m_destination;
  int m_slot = -1;  // the temporary file's slot for RemoveFilesArmedForStop; -1 for none
  CBufferedFile m_file;
};

// Files that a program stopped by a signal must not leave behind: the temporary files of saves
// under way, and any other a program arms (qxhost's copies of standard input and output).
// ArmRemovalOnStop returns the path's slot, or -1 when the path is too long for one (the file
// then works as ever; only a stop would leave it behind). There is a slot for every file.
QXIO_API int ArmRemovalOnStop(const std::wstring& path);
QXIO_API void DisarmRemovalOnStop(int slot);  // -1 does nothing
// Removes the armed files: for the handler of a signal that ends the program (or a console
// control handler on Windows). Safe to call there: it allocates nothing, takes no lock and calls
// only the system's unlink (DeleteFileW).
QXIO_API void RemoveFilesArmedForStop() noexcept;

// Creates a new file for a program's own data, open for writing in file, private to its owner
// where the system has permission bits, and armed for removal on a stop before it exists (slot
// receives its slot). Its name is stem + the process id + "-" + a serial number + suffix, the
// first such name that nothing has: a name taken meanwhile, or a link planted under it, is passed
// over, never opened. Returns the name; raises the host's error, naming the stem's folder, with
// the system's reason, when no file can be created there, and then leaves slot as it was.
QXIO_API std::wstring CreateTemporaryFile(CBufferedFile& file, const std::wstring& stem,
                                          const std::wstring& suffix, int& slot);

}  // namespace utl
