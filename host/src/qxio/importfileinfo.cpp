#include "qxio/importfileinfo.h"

namespace qxio {

ImportFileInfo::ImportFileInfo() = default;
ImportFileInfo::~ImportFileInfo() = default;
ImportFileInfo::ImportFileInfo(ImportFileInfo&& other) noexcept = default;
ImportFileInfo& ImportFileInfo::operator=(ImportFileInfo&& other) noexcept = default;

void ImportFileInfo::Add(const std::wstring& key, const wchar_t* text) {
  m_entries.emplace(key, boost::any(std::wstring(text ? text : L"")));
}

}  // namespace qxio
