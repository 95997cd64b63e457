// Saving over a file without putting it at risk.
#pragma once

#include <string>

#include "utl/api.h"
#include "utl/bufferedfile.h"

namespace utl {

// Writes the next content of a file beside it and puts it in place only when it is complete,
// so that the target is either its old self or the whole new content, never a mixture or
// nothing. A save that is discarded, fails or is destroyed unfinished removes what it wrote
// and leaves the target as it was. Every save of the host's programs and filters goes
// through this class, and its errors name the target, never the temporary file, which the
// user did not ask for.
class QXIO_API CSafeSave {
public:
  CSafeSave();
  ~CSafeSave();  // discards an unfinished save
  CSafeSave(const CSafeSave&) = delete;
  CSafeSave& operator=(const CSafeSave&) = delete;

  // Discards any save under way and begins one for target, with an empty file open for
  // writing. Raises the host's error, for target, when no file can be created beside it.
  void Begin(const std::wstring& target);
  // Between Begin and the end of the save by Commit or Discard.
  bool IsActive() const { return !m_target.empty(); }
  const std::wstring& Target() const { return m_target; }
  // Where the new content goes; its errors name the target.
  CBufferedFile& File() { return m_file; }

  // Ends the save: flushes and closes the file and moves it over the target. A failed flush
  // or close raises the host's error, a failed move returns false; either way nothing of the
  // save remains and the target is as it was.
  bool Commit();
  // Ends the save, removing what it wrote; the target stays as it was. Raises nothing.
  void Discard();

private:
  std::wstring m_target;
  std::wstring m_temporary;
  CBufferedFile m_file;
};

}  // namespace utl
