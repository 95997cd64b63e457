// The plug-in as a host loads it (dlopen or LoadLibraryW, and its two exports): its filters made,
// used and deleted across the module boundary, images crossing it both ways by their type's
// identity, host errors raised on its side, what its filters leave undone, and on Windows the
// dialog templates it carries.

#include <functional>
#include <memory>
#include <utility>

#include "qxio/plugin.h"
#include "testsupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vemra::test {
namespace {

// The plug-in as a host loads it, its exports found by name, and unloaded.
#if defined(_WIN32)
struct Module {
  HMODULE handle = LoadLibraryW(fs::path(VEMRA_PLUGIN_PATH).wstring().c_str());
  void* Find(const char* name) { return reinterpret_cast<void*>(GetProcAddress(handle, name)); }
  bool Unload() { return FreeLibrary(handle); }
};
#else
struct Module {
  void* handle = dlopen(VEMRA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  void* Find(const char* name) { return dlsym(handle, name); }
  bool Unload() { return dlclose(handle) == 0; }
};
#endif

// The files this process holds open, where the system lists them (Linux; elsewhere 0: under wine
// the folder would list the emulator's own, which come and go).
std::ptrdiff_t OpenFiles() {
#if defined(__linux__)
  std::error_code error;
  return std::distance(fs::directory_iterator("/proc/self/fd", error), {});
#else
  return 0;
#endif
}

TEST(Module, FiltersWorkAcrossTheModuleBoundary) {
  Module module;
  ASSERT_NE(module.handle, nullptr);
  const auto importSun = reinterpret_cast<qxio::ImportFilterFactory>(module.Find("ImportSUN"));
  const auto exportSun = reinterpret_cast<qxio::ExportFilterFactory>(module.Find("ExportSUN"));
  ASSERT_TRUE(importSun && exportSun);
  {
    TempDir dir;
    TestManager manager;
    std::unique_ptr<qxio::IoImportFilter> import1(importSun(manager)), import2(importSun(manager));
    std::unique_ptr<qxio::IoExportFilter> exporter(exportSun(manager));
    EXPECT_EQ(manager.options,
              (std::set<std::wstring>{L"ExportImageFormatBGRA32", L"ExportImageFormatBGR24",
                                      L"ExportImageFormatIndexed8", L"ExportImageFormatIndexed1"}));
    EXPECT_EQ(import1->GetFilterDescriptor(), import2->GetFilterDescriptor());
    EXPECT_TRUE(Describes(*import1, u"vemra", qxio::FilterKindImport) &&
                Describes(*exporter, u"vemra", qxio::FilterKindExport));
    EXPECT_FALSE(import1->SetOptionsFromString(L"Compression=RLE")) << "an import takes none";
    import1.reset();  // memory from the plug-in goes back to the plug-in

    // A file imported, or refused (a folder too), is closed: an open one would be locked on
    // Windows, where it then cannot be removed or replaced.
    WriteFile(dir / "foreign.ras", Bytes(64, 'x'));
    fs::copy_file(DataDir() / "read" / "24bit-w5.ras", dir / "good.ras");
    const std::ptrdiff_t open = OpenFiles();
    const Imported failed = Import(*import2, manager, dir.Wide("foreign.ras"));
    EXPECT_EQ(failed.error.value().Kind(), utl::ErrorKind::UnknownFormat);
    EXPECT_EQ(failed.error->Path(), dir.Wide("foreign.ras"));
    EXPECT_FALSE(Import(*import2, manager, Wide(dir.Path())).image) << "a folder";
    EXPECT_EQ(OpenFiles(), open);
    // TestManager keeps an object only when its type's identity is TrImage's, and the export
    // filter takes one only so: an image made on either side is known on the other.
    const fs::path good = dir / "good.ras";
    EXPECT_TRUE(import2->CanImportFile(Wide(good)));
    EXPECT_TRUE(Import(*import2, manager, Wide(good)).image);
    EXPECT_EQ(OpenFiles(), open);
    EXPECT_TRUE(fs::remove(dir / "foreign.ras"));
    qxio::TrImage image = TestImage(utl::BGR24, 5, 3);
    exporter->BeginExport(Wide(good));  // replaced, and its folder flushed
    EXPECT_EQ(exporter->ExportObject(image), qxio::ExportDone);
    EXPECT_EQ(exporter->EndExport(), qxio::ExportDone);
    EXPECT_EQ(OpenFiles(), open);
  }
  // What the filters leave to the host library's defaults, as docs/embedding.md tells hosts: the
  // memory transfers end in the not-implemented error, told to the manager first, before touching
  // the data or the host's arguments; no delayed imports, import options or property pages.
  TestManager manager;
  {
    std::unique_ptr<qxio::IoImportFilter> importer(importSun(manager));
    std::unique_ptr<qxio::IoExportFilter> exporter(exportSun(manager));
    const Bytes file = ReadFile(DataDir() / "read" / "24bit-w5.ras");
    void* data = &manager;
    std::size_t size = 7;
    const std::pair<std::function<void()>, std::wstring> calls[] = {
        {[&] { importer->ImportFromMemory(file.data(), file.size()); },
         L"import: imports from memory are not supported."},
        {[&] { exporter->BeginExportToMemory(); }, L"export: exports to memory are not supported."},
        {[&] { exporter->EndExportToMemory(&data, &size); },
         L"export: exports to memory are not supported."},
        {[&] { exporter->BeginExportToGlobalMemory(); },
         L"export: exports to global memory are not supported."},
        {[&] { exporter->EndExportToGlobalMemory(&data); },
         L"export: exports to global memory are not supported."},
    };
    for (const auto& [call, sentence] : calls) {
      const auto error = Raised(call);
      ASSERT_TRUE(error) << sentence;
      EXPECT_EQ(error->Kind(), utl::ErrorKind::NotImplemented);
      EXPECT_EQ(error->Sentence(), sentence);
      EXPECT_EQ(error->Path(), L"");
    }
    EXPECT_EQ(manager.errors.size(), 5u);
    EXPECT_TRUE(manager.images.empty());
    EXPECT_TRUE(data == &manager && size == 7);
    EXPECT_TRUE(!importer->HasDelayedImport() && importer->GetOptionsInStringForm().empty());
    void* pages[4] = {};
    EXPECT_EQ(importer->GetPropertyPages(pages, 4) + exporter->GetPropertyPages(pages, 4), 0);
  }
  EXPECT_TRUE(module.Unload());
}

#if defined(_WIN32)
TEST(Module, CarriesBothDialogTemplates) {
  const HMODULE module = LoadLibraryExW(fs::path(VEMRA_PLUGIN_PATH).wstring().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  for (int id : {100, 101}) {
    const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    const HRSRC info =
        FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(id), english);
    const void* data = info ? LockResource(LoadResource(module, info)) : nullptr;
    ASSERT_NE(data, nullptr) << "dialog " << id;
    const auto* words = static_cast<const std::uint16_t*>(data);
    EXPECT_TRUE(words[0] == 1 && words[1] == 0xFFFF) << "an extended template, dialog " << id;
  }
  FreeLibrary(module);
}
#endif

}  // namespace
}  // namespace vemra::test
