// qxhost's system side on Windows: wide strings are UTF-16, as the system's own.
// windows.h first: shellapi.h needs its types.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstring>

#include "sys/commandline.h"
#include "sys/platform.h"
#include "utl/text.h"

namespace qxhost::sys {

namespace {

void (*g_onStop)() = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (g_onStop) g_onStop();
  ::ExitProcess(event == CTRL_C_EVENT ? 128 + 2 : event == CTRL_BREAK_EVENT ? 128 + 21 : 128 + 15);
}

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

}  // namespace

std::vector<std::wstring> Arguments(int, char**) {
  std::vector<std::wstring> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; wide && i < count; ++i) args.emplace_back(wide[i]);
  LocalFree(wide);
  return args;
}

namespace {

std::vector<std::wstring> ListMatches(const std::wstring& pattern) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::vector<std::wstring> names;
  do {
    names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

}  // namespace

std::vector<std::wstring> WildcardMatches(std::size_t index) {
  static const std::vector<CommandLineArgument> split = SplitCommandLine(GetCommandLineW());
  // Should the two splittings ever disagree, no argument is taken for a pattern.
  static const bool agreed = split.size() == Arguments(0, nullptr).size();
  if (!agreed || index + 1 >= split.size() || !IsWildcard(split[index + 1])) return {};
  return ExpandWildcard(split[index + 1].text, ListMatches);
}

void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
}

// Files are opened as handles, which never take the C runtime's descriptors of the streams.
void FillClosedStandardStreams() {}

void EndProcessOnStop(void (*onStop)()) {
  g_onStop = onStop;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void WriteToStandardErrorNow(const char* text) {
  _write(2, text, static_cast<unsigned>(std::strlen(text)));
}

bool IsTerminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

int TerminalWidth(std::FILE* stream) {
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void SetBinaryMode(std::FILE* stream) {
  _setmode(_fileno(stream), _O_BINARY);
}

std::filesystem::path NativePath(const std::wstring& path) {
  return std::filesystem::path(path);
}

std::wstring WidePath(const std::filesystem::path& path) {
  return path.wstring();
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

std::uint64_t PhysicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

}  // namespace qxhost::sys
