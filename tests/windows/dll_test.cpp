// The plug-in as a Windows host sees it: vemra.dll loaded at run time, its two exports found
// by name, filters created and deleted across the DLL boundary, host errors thrown in
// qxio.dll caught here.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qxio/filter.h"
#include "qxio/plugin.h"
#include "utl/colorformat.h"
#include "utl/error.h"
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

template <typename Function>
Function Proc(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

// vemra.dll loaded, with its two factories, until destroyed.
struct Plugin {
  const HMODULE module = LoadLibraryW(PluginPath().c_str());
  const qxio::ImportFilterFactory importSun = Proc<qxio::ImportFilterFactory>(module, "ImportSUN");
  const qxio::ExportFilterFactory exportSun = Proc<qxio::ExportFilterFactory>(module, "ExportSUN");
  ~Plugin() {
    if (module) {
      EXPECT_TRUE(FreeLibrary(module));
    }
  }
};
using ImportFilter = std::unique_ptr<qxio::IoImportFilter>;
using ExportFilter = std::unique_ptr<qxio::IoExportFilter>;

// The 100-byte descriptor: signature, version 100, the wide name "vemra", the filter's kind.
Bytes ExpectedDescriptor(std::uint8_t kind) {
  Bytes bytes(100, 0);
  std::memcpy(bytes.data(), "$QXIO_FILT$", 12);
  bytes[12] = 100;
  for (int i = 0; i < 5; ++i) bytes[16 + 2 * i] = static_cast<std::uint8_t>("vemra"[i]);
  bytes[96] = kind;
  return bytes;
}

Bytes BytesOf(const qxio::FilterDescriptor* descriptor) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(descriptor);
  return Bytes(p, p + 100);
}

TEST(Dll, ExportsCreateAndDeleteFiltersOfBothKinds) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.importSun && plugin.exportSun) << "vemra.dll or an export is missing";
  HostManager manager;

  ImportFilter import1(plugin.importSun(manager));
  ImportFilter import2(plugin.importSun(manager));
  ExportFilter export1(plugin.exportSun(manager));
  ASSERT_TRUE(import1 && import2 && export1);
  EXPECT_NE(import1.get(), import2.get());
  EXPECT_EQ(BytesOf(import1->GetFilterDescriptor()), ExpectedDescriptor(1));
  EXPECT_EQ(BytesOf(export1->GetFilterDescriptor()), ExpectedDescriptor(2));
  EXPECT_EQ(import1->GetFilterDescriptor(), import2->GetFilterDescriptor());
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
  ASSERT_EQ(GetModuleHandleW(L"vemra.dll"), nullptr);
  for (int round = 0; round < 2; ++round) {
    {
      const Plugin plugin;
      ASSERT_NE(plugin.module, nullptr);
      EXPECT_EQ(GetModuleHandleW(L"vemra.dll"), plugin.module);
      EXPECT_TRUE(plugin.importSun && plugin.exportSun);
    }
    EXPECT_EQ(GetModuleHandleW(L"vemra.dll"), nullptr);
  }
}

// Exported data is used in place: the program reads qxio.dll's one table, not a copy.
TEST(Dll, HostDataIsImportedFromQxio) {
  const HMODULE qxio = GetModuleHandleW(L"qxio.dll");
  ASSERT_NE(qxio, nullptr);
  EXPECT_EQ(reinterpret_cast<const void*>(GetProcAddress(qxio, "_ZN3utl13ColorFmtToBPPE")),
            static_cast<const void*>(utl::ColorFmtToBPP));
  EXPECT_EQ(utl::ColorFmtToBPP[utl::BGR24], 24);
}

// The host's error, thrown in qxio.dll for the plug-in, is caught here, and the filter is
// still usable after it.
TEST(Dll, HostErrorsCrossTheLibraryBoundary) {
  const Plugin plugin;
  ASSERT_TRUE(plugin.importSun);
  HostManager manager;
  TempFolder folder;
  const std::wstring path = folder / L"\u00e9t\u00e9-\u65e5\u672c-\U0001F600.ras";
  WriteAll(path, Bytes(64, 0x42));

  ImportFilter filter(plugin.importSun(manager));
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

  const std::wstring good = folder / L"\u00e9t\u00e9.ras";
  WriteAll(good, SmallRaster());
  EXPECT_TRUE(filter->CanImportFile(good));
  filter->ImportFromFile(good);
  ASSERT_EQ(manager.m_images.size(), 1u);
  EXPECT_EQ(manager.m_images[0].GetWidth(), 2);
  EXPECT_NO_THROW(WriteAll(path, SmallRaster()));
}

}  // namespace
}  // namespace vemra::wintest
