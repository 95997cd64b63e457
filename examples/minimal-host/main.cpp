// A minimal host: loads the Sun raster plug-in, describes a file, imports it and exports the
// image again under another name.  usage: minimal-host IN OUT
// POSIX (dlopen); a Windows host loads vemra.dll with LoadLibraryW and GetProcAddress.
#include <dlfcn.h>

#include <exception>
#include <iostream>
#include <memory>
#include <optional>

#include "qxio/plugin.h"
#include "utl/text.h"

// The filters report to the host through its manager; this one shows warnings and keeps the
// imported image, which is destroyed when OnObjectImported returns unless moved out.
class Host : public qxio::IoManager {
public:
  std::optional<qxio::TrImage> image;

protected:
  int OnWarning(utl::IError::WarnStyle, const std::wstring& message) override {
    std::cerr << "minimal-host: warning: " << utl::ToUtf8(message) << '\n';
    return 0;
  }
  void OnObjectImported(qxio::TrBase& object) override {
    if (object.GetTypeId() != qxio::TrImage::GetClassTypeId()) return;
    image.emplace(std::move(static_cast<qxio::TrImage&>(object)));
  }
};

int main(int argc, char** argv) {
  if (argc != 3) return std::cerr << "usage: minimal-host IN OUT\n", 2;
  void* plugin = dlopen(VEMRA_PLUGIN, RTLD_NOW | RTLD_LOCAL);
  if (!plugin) return std::cerr << "minimal-host: " << dlerror() << '\n', 1;
  const auto importSun = reinterpret_cast<qxio::ImportFilterFactory>(dlsym(plugin, "ImportSUN"));
  const auto exportSun = reinterpret_cast<qxio::ExportFilterFactory>(dlsym(plugin, "ExportSUN"));
  if (!importSun || !exportSun) return std::cerr << "minimal-host: not the plug-in\n", 1;

  const std::wstring in = utl::FromUtf8(argv[1]), out = utl::FromUtf8(argv[2]);
  Host host;
  try {  // the filters, made by the plug-in, are deleted before it is unloaded
    const std::unique_ptr<qxio::IoImportFilter> importer(importSun(host));
    for (const auto& [key, value] : importer->GetImportFileInfo(0, in).m_entries) {
      std::cout << utl::ToUtf8(key) << ": ";
      if (const int* number = boost::any_cast<int>(&value)) std::cout << *number << '\n';
      if (const auto* text = boost::any_cast<std::wstring>(&value)) {
        std::cout << utl::ToUtf8(*text) << '\n';
      }
    }
    importer->ImportFromFile(in);  // raises the host's error, or hands over the image
    const std::unique_ptr<qxio::IoExportFilter> exporter(exportSun(host));
    exporter->BeginExport(out);
    exporter->ExportObject(*host.image);
    exporter->EndExport();  // only now does OUT change
  } catch (const std::exception& error) {
    // The host's error (utl::IError: its kind, path and reason), or memory refused.
    std::cerr << "minimal-host: " << error.what() << '\n';
    return 1;
  }
  dlclose(plugin);
  return 0;
}
