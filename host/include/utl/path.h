// Paths and whole-file operations.
#pragma once

#include <string>

#include "utl/api.h"

namespace utl {

class QXIO_API CPath {
public:
  explicit CPath(const std::wstring& path);

  // The last component of the path: the file name with its extension.
  std::wstring GetNameAndExtension() const;
  // Everything before the last component, with its trailing separator; empty when none.
  std::wstring GetFolder() const;

private:
  std::wstring m_path;
};

// Deletes the file; false when it could not be deleted.
QXIO_API bool RemoveFile(const std::wstring& path);

}  // namespace utl
