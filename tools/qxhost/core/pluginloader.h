// Loads the filter plug-in and creates its filters. The plug-in stays loaded while its Plugin
// object lives, so every filter it created must be deleted before it.
#pragma once

#include <memory>
#include <string>

#include "qxio/plugin.h"

namespace qxhost {

class Plugin {
public:
  // Loads the library and looks up its factories; raises the host's error when it cannot be loaded
  // or has no ImportSUN. ExportSUN may be absent.
  explicit Plugin(const std::wstring& path);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  bool CanExport() const { return m_export != nullptr; }
  std::unique_ptr<qxio::IoImportFilter> CreateImportFilter(qxio::IoManager& manager) const;
  // Raises the host's error when the plug-in has no export filter.
  std::unique_ptr<qxio::IoExportFilter> CreateExportFilter(qxio::IoManager& manager) const;

private:
  void* m_library = nullptr;
  qxio::ImportFilterFactory m_import = nullptr;
  qxio::ExportFilterFactory m_export = nullptr;
};

// The plug-in's file in the running executable's folder or, when it is not there, in the
// folder where the install puts it, relative to the executable's; argv0 serves where the
// system cannot name the executable.
std::wstring DefaultPluginPath(const std::wstring& argv0);

}  // namespace qxhost
