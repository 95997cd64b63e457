// The plug-in's shell: descriptors, factories, and the library as a host loads it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "descriptors.h"
#include "module.h"
#include "qxio/plugin.h"
#include "rasterbytes.h"
#include "testfiles.h"

#if !defined(_WIN32)
#  include <dlfcn.h>
#  include <cstdio>
#endif

namespace vemra::test {
namespace {

Bytes ExpectedDescriptor(std::uint8_t kind) {
  Bytes bytes;
  for (char c : std::string("$QXIO_FILT$")) bytes.push_back(static_cast<std::uint8_t>(c));
  Append(bytes, {0, 100, 0, 0, 0});
  for (char c : std::string("vemra")) Append(bytes, {c, 0});
  bytes.resize(96, 0);
  Append(bytes, {kind, 0, 0, 0});
  return bytes;
}

Bytes BytesOf(const qxio::FilterDescriptor* descriptor) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(descriptor);
  return Bytes(p, p + sizeof *descriptor);
}

TEST(Module, DescriptorsAreTheHundredByteRecords) {
  EXPECT_EQ(BytesOf(&kImportDescriptor), ExpectedDescriptor(1));
  EXPECT_EQ(BytesOf(&kExportDescriptor), ExpectedDescriptor(2));
}

TEST(Module, EachClassHasOneDescriptorAddress) {
  qxio::IoManager manager;
  std::unique_ptr<qxio::IoImportFilter> import1(ImportSUN(manager)), import2(ImportSUN(manager));
  std::unique_ptr<qxio::IoExportFilter> export1(ExportSUN(manager)), export2(ExportSUN(manager));
  EXPECT_EQ(import1->GetFilterDescriptor(), &kImportDescriptor);
  EXPECT_EQ(import2->GetFilterDescriptor(), &kImportDescriptor);
  EXPECT_EQ(export1->GetFilterDescriptor(), &kExportDescriptor);
  EXPECT_EQ(export2->GetFilterDescriptor(), &kExportDescriptor);
}

TEST(Module, FactoriesMakeIndependentFilters) {
  TempDir dir;
  const std::wstring path = dir.Put("one.ras", HeaderBytes({}));
  qxio::IoManager manager;
  std::unique_ptr<qxio::IoImportFilter> first(ImportSUN(manager));
  std::unique_ptr<qxio::IoImportFilter> second(ImportSUN(manager));
  ASSERT_NE(first.get(), second.get());
  first.reset();
  EXPECT_TRUE(second->CanImportFile(path));
  EXPECT_TRUE(second->SupportsType(qxio::TrImage::GetClassTypeId()));
  EXPECT_FALSE(second->SupportsType(qxio::TrInitGraphicsExp::GetClassTypeId()));
}

#if !defined(_WIN32)
// The library loaded as a host loads it: its filters share the host's type identities and
// its errors are the host's, caught on this side of the boundary.
TEST(LoadedPlugin, FiltersWorkAcrossTheModuleBoundary) {
  void* library = dlopen(VEMRA_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto importSun = reinterpret_cast<qxio::ImportFilterFactory>(dlsym(library, "ImportSUN"));
  auto exportSun = reinterpret_cast<qxio::ExportFilterFactory>(dlsym(library, "ExportSUN"));
  ASSERT_NE(importSun, nullptr);
  ASSERT_NE(exportSun, nullptr);
  {
    TempDir dir;
    qxio::IoManager manager;
    std::unique_ptr<qxio::IoImportFilter> importer(importSun(manager));
    std::unique_ptr<qxio::IoExportFilter> exporter(exportSun(manager));
    EXPECT_TRUE(importer->SupportsType(qxio::TrImage::GetClassTypeId()));
    EXPECT_TRUE(exporter->SupportsType(qxio::TrInitGraphicsExp::GetClassTypeId()));
    EXPECT_EQ(BytesOf(importer->GetFilterDescriptor()), ExpectedDescriptor(1));
    EXPECT_EQ(BytesOf(exporter->GetFilterDescriptor()), ExpectedDescriptor(2));
    const std::wstring foreign = dir.Put("foreign.ras", Bytes(64, 'x'));
    try {
      importer->ImportFromFile(foreign);
      ADD_FAILURE() << "a foreign file was imported";
    } catch (const utl::IError& error) {
      EXPECT_EQ(error.Kind(), utl::ErrorKind::UnknownFormat);
      EXPECT_EQ(error.Path(), foreign);
    }
  }
  EXPECT_EQ(dlclose(library), 0);
}

TEST(LoadedPlugin, ExportsExactlyTheTwoFactories) {
  const std::string command = std::string("nm -D --defined-only '") + VEMRA_PLUGIN_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    text.erase(text.find_last_not_of("\r\n") + 1);
    names.insert(text.substr(text.find_last_of(' ') + 1));
  }
  ASSERT_EQ(pclose(pipe), 0) << command;
  EXPECT_EQ(names, (std::set<std::string>{"ExportSUN", "ImportSUN"}));
}
#endif

}  // namespace
}  // namespace vemra::test
