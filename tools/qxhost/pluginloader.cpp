#include "pluginloader.h"

#include <vector>

#include "failure.h"
#include "utl/bufferedfile.h"
#include "utl/text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace qxhost {

namespace {

using AnyFunction = void (*)();

// The operating system's side: open, look up, close. Errors come back as text.
#if defined(_WIN32)

std::string LastSystemError() {
  wchar_t* text = nullptr;
  const DWORD code = GetLastError();
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = text ? text : L"error " + std::to_wstring(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
    message.pop_back();
  }
  return utl::ToUtf8(message);
}

void* OpenLibrary(const std::wstring& path, std::string& error) {
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) error = LastSystemError();
  return reinterpret_cast<void*>(module);
}

AnyFunction FindFunction(void* library, const char* name) {
  return reinterpret_cast<AnyFunction>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) {
  FreeLibrary(static_cast<HMODULE>(library));
}

std::wstring ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

#else

// dlerror's text starts with the path, which qxhost's message names already.
void* OpenLibrary(const std::wstring& path, std::string& error) {
  const std::string native = utl::ToUtf8(path);
  void* library = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* text = dlerror();
    error = text ? text : "unknown error";
    if (error.compare(0, native.size() + 2, native + ": ") == 0) error.erase(0, native.size() + 2);
  }
  return library;
}

AnyFunction FindFunction(void* library, const char* name) {
  return reinterpret_cast<AnyFunction>(dlsym(library, name));
}

void CloseLibrary(void* library) {
  dlclose(library);
}

std::wstring ExecutablePath() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
  return utl::FromUtf8(std::string(buffer.data(), static_cast<std::size_t>(length)));
}

#endif

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"/\\");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

Plugin::Plugin(const std::wstring& path) {
  std::string error;
  m_library = OpenLibrary(path, error);
  if (!m_library) throw Failure("cannot load the plug-in: " + error);
  // The factories are extern "C" functions; the casts go through a plain function pointer.
  m_import = reinterpret_cast<qxio::ImportFilterFactory>(FindFunction(m_library, "ImportSUN"));
  m_export = reinterpret_cast<qxio::ExportFilterFactory>(FindFunction(m_library, "ExportSUN"));
  if (!m_import) {
    CloseLibrary(m_library);
    throw Failure("not a Sun raster plug-in: it has no ImportSUN");
  }
}

Plugin::~Plugin() {
  CloseLibrary(m_library);
}

std::unique_ptr<qxio::IoImportFilter> Plugin::CreateImportFilter(qxio::IoManager& manager) const {
  std::unique_ptr<qxio::IoImportFilter> filter(m_import(manager));
  if (!filter) throw Failure("the plug-in's ImportSUN created no filter");
  return filter;
}

std::unique_ptr<qxio::IoExportFilter> Plugin::CreateExportFilter(qxio::IoManager& manager) const {
  if (!m_export) throw Failure("this plug-in cannot write Sun raster files: it has no ExportSUN");
  std::unique_ptr<qxio::IoExportFilter> filter(m_export(manager));
  if (!filter) throw Failure("the plug-in's ExportSUN created no filter");
  return filter;
}

// Beside the executable in a build folder; in its own folder under the library folder once
// installed.
std::wstring DefaultPluginPath(const std::wstring& argv0) {
  std::wstring executable = ExecutablePath();
  if (executable.empty()) executable = argv0;
  std::wstring folder = FolderOf(executable);
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
