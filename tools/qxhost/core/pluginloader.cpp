#include "core/pluginloader.h"

#include <vector>

#include "sys/fail.h"
#include "sys/platform.h"
#include "utl/bufferedfile.h"
#include "utl/path.h"
#include "utl/text.h"

namespace qxhost {

Plugin::Plugin(const std::wstring& path) {
  std::string error;
  m_library = sys::OpenLibrary(path, error);
  if (!m_library) Fail("cannot load the plug-in: " + error);
  // The factories are extern "C" functions; the casts go through a plain function pointer.
  m_import = reinterpret_cast<qxio::ImportFilterFactory>(sys::FindFunction(m_library, "ImportSUN"));
  m_export = reinterpret_cast<qxio::ExportFilterFactory>(sys::FindFunction(m_library, "ExportSUN"));
  if (!m_import) {
    sys::CloseLibrary(m_library);
    Fail("not a Sun raster plug-in: it has no ImportSUN");
  }
}

Plugin::~Plugin() {
  sys::CloseLibrary(m_library);
}

std::unique_ptr<qxio::IoImportFilter> Plugin::CreateImportFilter(qxio::IoManager& manager) const {
  std::unique_ptr<qxio::IoImportFilter> filter(m_import(manager));
  if (!filter) Fail("the plug-in's ImportSUN created no filter");
  return filter;
}

std::unique_ptr<qxio::IoExportFilter> Plugin::CreateExportFilter(qxio::IoManager& manager) const {
  if (!m_export) Fail("this plug-in cannot write Sun raster files: it has no ExportSUN");
  std::unique_ptr<qxio::IoExportFilter> filter(m_export(manager));
  if (!filter) Fail("the plug-in's ExportSUN created no filter");
  return filter;
}

// Beside the executable in a build folder; in its own folder under the library folder once
// installed.
std::wstring DefaultPluginPath(const std::wstring& argv0) {
  std::wstring executable = sys::ExecutablePath();
  if (executable.empty()) executable = argv0;
  std::wstring folder = utl::CPath(executable).GetFolder();
  if (folder.empty()) folder = L"./";  // a bare name would send the loader to its search path
  const std::wstring file = utl::FromUtf8(QXHOST_PLUGIN_FILE);
  const std::wstring beside = folder + file;
  const std::wstring installed =
      folder + utl::FromUtf8(QXHOST_INSTALLED_PLUGIN_FOLDER) + L"/" + file;
  utl::CBufferedFile probe;
  if (!probe.OpenNoThrow(beside, "rb", utl::ShareRead, false) &&
      probe.OpenNoThrow(installed, "rb", utl::ShareRead, false)) {
    return installed;
  }
  return beside;
}

}  // namespace qxhost
