// Paths and whole-file operations.
#pragma once

#include <string>

#include "utl/api.h"

namespace utl {

// A path taken apart by the platform's one rule for separators: '/' on POSIX, where '\' is a
// character of a name like any other; '\', '/' and a drive's ':' on Windows.
class QXIO_API CPath {
public:
  explicit CPath(const std::wstring& path);

  static bool IsSeparator(wchar_t c);

  // The last component of the path: the file name with its extension.
  std::wstring GetNameAndExtension() const;
  // The last component without its extension.
  std::wstring GetName() const;
  // What follows the last component's last dot, without the dot; empty when there is none. A
  // leading dot starts no extension: ".hidden" has none.
  std::wstring GetExtension() const;
  // Everything before the last component, with its trailing separator; empty when none.
  std::wstring GetFolder() const;

private:
  std::size_t NameStart() const;
  std::size_t ExtensionDot() const;  // the position of the extension's dot, or the path's size

  std::wstring m_path;
};

// Deletes the file; false when it could not be deleted.
QXIO_API bool RemoveFile(const std::wstring& path);

}  // namespace utl
