// The plug-in as a Windows host sees it: vemra.dll loaded at run time, its two exports found
// by name, filters created and deleted across the DLL boundary, host errors thrown in
// qxio.dll caught here.
#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "qxio/filter.h"
#include "qxio/plugin.h"
#include "utl/colorformat.h"
#include "utl/error.h"
#include "utl/path.h"
#include "winsupport.h"

namespace vemra::wintest {
namespace {

// A host's manager: keeps the images it receives and the options filters register.
class HostManager : public qxio::IoManager {
public:
  std::vector<std::wstring> m_options;
  std::vector<qxio::TrImage> m_images;

protected:
  void SetOption(const std::wstring& name, bool /*enabled*/, bool /*visible*/) override {
    m_options.push_back(name);
  }
  void OnObjectImported(qxio::TrBase& object) override {
    ASSERT_EQ(object.GetTypeId(), qxio::TrImage::GetClassTypeId());
    m_images.push_back(std::move(static_cast<qxio::TrImage&>(object)));
  }
};

class Plugin {
public:
  Plugin() : m_module(LoadLibraryW(PluginPath().c_str())) {
    if (!m_module) return;
    m_import = reinterpret_cast<qxio::ImportFilterFactory>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "ImportSUN")));
    m_export = reinterpret_cast<qxio::ExportFilterFactory>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "ExportSUN")));
  }
  ~Plugin() {
    if (m_module) FreeLibrary(m_module);
  }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  bool Complete() const { return m_module && m_import && m_export; }
  std::unique_ptr<qxio::IoImportFilter> Import(qxio::IoManager& manager) const {
    return std::unique_ptr<qxio::IoImportFilter>(m_import(manager));
  }
  std::unique_ptr<qxio::IoExportFilter> Export(qxio::IoManager& manager) const {
    return std::unique_ptr<qxio::IoExportFilter>(m_export(manager));
  }

private:
  HMODULE m_module;
  qxio::ImportFilterFactory m_import = nullptr;
  qxio::ExportFilterFactory m_export = nullptr;
};

std::vector<std::uint8_t> ExpectedDescriptor(std::uint8_t kind) {
  std::vector<std::uint8_t> bytes(100, 0);
  std::memcpy(bytes.data(), "$QXIO_FILT$", 12);
  bytes[12] = 100;
  const char name[] = "vemra";
  for (std::size_t i = 0; i + 1 < sizeof name; ++i)
    bytes[16 + 2 * i] = static_cast<std::uint8_t>(name[i]);
  bytes[96] = kind;
  return bytes;
}

std::vector<std::uint8_t> BytesOf(const qxio::FilterDescriptor* descriptor) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(descriptor);
  return std::vector<std::uint8_t>(p, p + 100);
}

std::set<std::wstring> LoadedModules() {
  std::set<std::wstring> names;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
  if (snapshot == INVALID_HANDLE_VALUE) return names;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
    std::wstring name = entry.szModule;
    for (auto& c : name) c = static_cast<wchar_t>(towlower(c));
    names.insert(name);
  }
  CloseHandle(snapshot);
  return names;
}

TEST(Dll, ExportsCreateAndDeleteFiltersOfBothKinds) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.Complete()) << "vemra.dll or one of its exports is missing";
  HostManager manager;

  auto import1 = plugin.Import(manager);
  auto import2 = plugin.Import(manager);
  auto export1 = plugin.Export(manager);
  ASSERT_TRUE(import1 && import2 && export1);
  EXPECT_NE(import1.get(), import2.get());
  EXPECT_EQ(BytesOf(import1->GetFilterDescriptor()), ExpectedDescriptor(1));
  EXPECT_EQ(BytesOf(export1->GetFilterDescriptor()), ExpectedDescriptor(2));
  EXPECT_EQ(import1->GetFilterDescriptor(), import2->GetFilterDescriptor());
  EXPECT_NE(static_cast<const void*>(import1->GetFilterDescriptor()),
            static_cast<const void*>(export1->GetFilterDescriptor()));
  EXPECT_TRUE(import1->SupportsType(qxio::TrImage::GetClassTypeId()));
  EXPECT_TRUE(export1->SupportsType(qxio::TrImage::GetClassTypeId()));
  EXPECT_EQ(manager.m_options.size(), 4u);

  // Memory allocated in the plug-in goes back to the plug-in's operator delete.
  import1.reset();
  EXPECT_FALSE(import2->CanImportFile(L"Z:\\no\\such\\file.ras"));
  import2.reset();
  export1.reset();
}

TEST(Dll, LoadsAndUnloadsWithoutCallingAFactory) {
  const std::set<std::wstring> before = LoadedModules();
  ASSERT_EQ(before.count(L"vemra.dll"), 0u);
  for (int round = 0; round < 2; ++round) {
    const HMODULE module = LoadLibraryW(PluginPath().c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetModuleHandleW(L"vemra.dll"), module);
    EXPECT_NE(GetProcAddress(module, "ImportSUN"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(L"vemra.dll"), nullptr);
  }
  EXPECT_EQ(LoadedModules(), before);
}

// Exported data is used in place: the program reads qxio.dll's one table, not a copy.
TEST(Dll, HostDataIsImportedFromQxio) {
  const HMODULE qxio = GetModuleHandleW(L"qxio.dll");
  ASSERT_NE(qxio, nullptr);
  const void* exported =
      reinterpret_cast<const void*>(GetProcAddress(qxio, "_ZN3utl13ColorFmtToBPPE"));
  EXPECT_EQ(exported, static_cast<const void*>(utl::ColorFmtToBPP));
  EXPECT_EQ(utl::ColorFmtToBPP[utl::BGR24], 24);
  EXPECT_EQ(utl::ColorFmtToBPP[utl::Indexed1], 1);
}

TEST(Dll, HostErrorsCrossTheLibraryBoundary) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.Complete());
  HostManager manager;
  TempFolder folder;
  const std::wstring path = folder / L"\u00e9t\u00e9-\u65e5\u672c-\U0001F600.ras";
  WriteAll(path, Bytes(64, 0x42));

  auto filter = plugin.Import(manager);
  EXPECT_FALSE(filter->CanImportFile(path));
  try {
    filter->ImportFromFile(path);
    ADD_FAILURE() << "a file without the magic number was imported";
  } catch (const utl::IError& error) {
    EXPECT_EQ(error.Kind(), utl::ErrorKind::UnknownFormat);
    EXPECT_EQ(error.Path(), path);
    EXPECT_NE(std::string(error.what()).find("\xF0\x9F\x98\x80"), std::string::npos);
  }
  // The failed import leaves its file open, shared for reading only: on Windows nobody may
  // write it until the filter's next import or its destruction closes it.
  EXPECT_ANY_THROW(WriteAll(path, SmallRaster()));

  // The filter is still usable after the exception went through both DLLs.
  const std::wstring good = folder / L"été.ras";
  WriteAll(good, SmallRaster());
  EXPECT_TRUE(filter->CanImportFile(good));
  filter->ImportFromFile(good);
  ASSERT_EQ(manager.m_images.size(), 1u);
  EXPECT_EQ(manager.m_images[0].GetWidth(), 2);
  EXPECT_NO_THROW(WriteAll(path, SmallRaster()));
}

TEST(Dll, ExportedFileReadsBackUnderUnicodeNames) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.Complete());
  HostManager manager;
  TempFolder folder;
  const std::wstring source = folder / L"\u0444\u043e\u0442\u043e.ras";
  const std::wstring target = folder / L"\u5199\u771f \U0001F5BC.ras";
  WriteAll(source, SmallRaster(5, 3));
  WriteAll(target, Bytes(10, 0xEE));  // an old file that the export replaces whole

  plugin.Import(manager)->ImportFromFile(source);
  ASSERT_EQ(manager.m_images.size(), 1u);
  auto exporter = plugin.Export(manager);
  ASSERT_EQ(exporter->BeginExport(target), qxio::ExportDone);
  ASSERT_EQ(exporter->ExportObject(manager.m_images[0]), qxio::ExportDone);
  ASSERT_EQ(exporter->EndExport(), qxio::ExportDone);
  exporter.reset();

  EXPECT_EQ(ReadAll(target), SmallRaster(5, 3));
  // Only the two files remain: the temporary file was moved over the target.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

}  // namespace
}  // namespace vemra::wintest
