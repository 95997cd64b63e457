// What an import filter tells about a file without importing it.
#pragma once

#include <map>
#include <string>

#include <boost/any.hpp>

#include "utl/api.h"

namespace qxio {

class QXIO_API ImportFileInfo {
public:
  using Entries = std::map<std::wstring, boost::any>;

  ImportFileInfo();
  ~ImportFileInfo();
  ImportFileInfo(ImportFileInfo&& other) noexcept;
  ImportFileInfo& operator=(ImportFileInfo&& other) noexcept;
  ImportFileInfo(const ImportFileInfo&) = delete;
  ImportFileInfo& operator=(const ImportFileInfo&) = delete;

  // Adds a text entry (held as std::wstring); an existing key keeps its value.
  void Add(const std::wstring& key, const wchar_t* text);

  // Ordered by key; filters may insert into it directly.
  Entries m_entries;
};

}  // namespace qxio
