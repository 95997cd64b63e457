// Standard input and output as files. The plug-in and the PNG code read and write paths, so
// standard input is copied into a temporary file before it is read, and an image for standard
// output is written into one that is copied out once it is complete.
#pragma once

#include <string>

#include "utl/bufferedfile.h"
#include "utl/error.h"

namespace qxhost {

// A file of its own in the system's temporary folder, removed with the object.
class TempFile {
public:
  // Creates the file, empty and open for writing. Raises the host's error when no file can be
  // created there.
  TempFile();
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::wstring& Path() const { return m_path; }
  // Open for writing from the creation until it is closed.
  utl::CBufferedFile& File() { return m_file; }

private:
  std::wstring m_path;
  utl::CBufferedFile m_file;
  int m_slot = -1;  // armed for removal on a stop (utl::ArmRemovalOnStop)
};

// Copies all of standard input into the file and closes it. Raises the host's error.
void SpoolStandardInput(TempFile& file);

// What to say of a standard stream whose copy in the temporary folder failed with error:
// the folder and the reason, never the copy's own name.
std::string CannotKeepCopy(const utl::IError& error);

// Copies the file to standard output and removes it. A reader of standard output that stops
// early ends qxhost by a signal, so the file leaves the folder before the copy where the
// system allows it. Raises the host's error or the host's error.
void CopyToStandardOutput(const std::wstring& path);
// Copies the file into target, a device or a pipe, which is written in place. Raises the host's
// error, naming target.
void CopyToDevice(const std::wstring& path, const std::wstring& target);

}  // namespace qxhost
