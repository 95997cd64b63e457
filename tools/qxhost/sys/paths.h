// What the file system says about the paths on the command line.
#pragma once

#include <string>

namespace qxhost {

// Whether anything is there, a link that leads nowhere included.
bool PathExists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
// Whether a device, a pipe or a socket stands there (links followed): a file written in place.
bool IsDevice(const std::wstring& path);
// Whether a named pipe stands there (links followed).
bool IsPipe(const std::wstring& path);
// Whether writing a would write b: the same file under two names (links, ".", another
// spelling of a folder), or, for a file not there yet, the same path once resolved.
bool SameFile(const std::wstring& a, const std::wstring& b);
// Makes the folder that file goes in, and those above it, where missing; false, with the
// system's reason, when it cannot.
bool MakeFolderOf(const std::wstring& file, std::string& reason);

}  // namespace qxhost
