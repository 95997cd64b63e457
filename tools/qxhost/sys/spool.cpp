#include "sys/spool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "sys/fail.h"
#include "sys/platform.h"
#include "utl/bufferedfile.h"
#include "utl/error.h"
#include "utl/path.h"
#include "utl/safesave.h"
#include "utl/text.h"

namespace qxhost {

namespace {

constexpr std::size_t kChunk = 256 * 1024;

// The system's temporary folder. Without one qxhost keeps no copy at all: a copy in the
// current folder would be a file the user did not ask for.
std::filesystem::path TemporaryFolderPath() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) Fail("cannot keep a copy in the temporary folder: " + error.message());
  // Windows names it with a separator at the end.
  const bool trailing = !folder.has_filename() && folder != folder.root_path();
  return trailing ? folder.parent_path() : folder;
}

// The folder with one separator at the end, ready for a file's name.
std::wstring TemporaryFolder() {
  return sys::WidePath(TemporaryFolderPath() / "");
}

std::string SystemReason() {
  return utl::ToUtf8(utl::ErrnoText(errno));
}

// Runs work on a copy in the temporary folder, whose failures are the folder's.
template <class Work>
void IntoCopy(const Work& work) {
  try {
    work();
  } catch (const utl::IError& error) {
    Fail(CannotKeepCopy(error));
  }
}

}  // namespace

std::string CannotKeepCopy(const utl::IError& error) {
  const std::wstring& reason = error.Reason().empty() ? error.Message() : error.Reason();
  return "cannot keep a copy in " + utl::ToUtf8(sys::WidePath(TemporaryFolderPath())) + ": " +
         utl::ToUtf8(reason);
}

// Created new, never opened over a file that is there already, so nobody else's file (or a
// link planted under the name) is written through.
TempFile::TempFile() try {
  m_path = utl::CreateTemporaryFile(m_file, TemporaryFolder() + L"qxhost-", L"", m_slot);
} catch (const utl::IError& error) {
  Fail(CannotKeepCopy(error));
}

TempFile::~TempFile() {
  m_file.CloseNoThrow(false);
  utl::DisarmRemovalOnStop(m_slot);
  utl::RemoveFile(m_path);
}

void SpoolStandardInput(TempFile& spool) {
  sys::SetBinaryMode(stdin);
  utl::CBufferedFile& file = spool.File();
  std::vector<char> chunk(kChunk);
  for (;;) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), stdin);
    if (std::ferror(stdin)) Fail("cannot read: " + SystemReason());
    IntoCopy([&] { file.Write(chunk.data(), got); });
    if (got < chunk.size()) break;
  }
  IntoCopy([&] { file.Close(); });
}

// Windows keeps an open file in its folder: there the TempFile removes it afterwards.
void CopyToStandardOutput(const std::wstring& path) {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  utl::RemoveFile(path);
  sys::SetBinaryMode(stdout);
  std::vector<char> chunk(kChunk);
  for (;;) {
    const std::size_t got = file.Read(chunk.data(), chunk.size());
    if (got > 0 && std::fwrite(chunk.data(), 1, got, stdout) != got) break;
    if (got < chunk.size()) break;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    Fail("cannot write: " + SystemReason());
  }
}

void CopyToDevice(const std::wstring& path, const std::wstring& target) {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  utl::CSafeSave save;
  save.Begin(target);
  std::vector<char> chunk(kChunk);
  for (std::size_t got = kChunk; got == kChunk;) {
    got = file.Read(chunk.data(), chunk.size());
    save.File().Write(chunk.data(), got);
  }
  save.Commit();
}

}  // namespace qxhost
