// qxhost's system side on POSIX: wide strings are the host's conversion of the bytes.
#include <csignal>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "sys/platform.h"
#include "utl/text.h"

namespace qxhost::sys {

namespace {

void (*g_onStop)() = nullptr;

extern "C" void OnStopSignal(int signal) {
  if (g_onStop) g_onStop();
  _exit(128 + signal);
}

}  // namespace

std::vector<std::wstring> Arguments(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 0; i < argc; ++i) args.push_back(utl::FromUtf8(argv[i]));
  return args;
}

// The shell has expanded the patterns that were meant as patterns.
std::vector<std::wstring> WildcardMatches(std::size_t) {
  return {};
}

void UseUtf8Console() {}

// Descriptors are handed out lowest first, so each open takes the number just found closed.
void FillClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1) ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
  }
}

void EndProcessOnStop(void (*onStop)()) {
  g_onStop = onStop;
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current = {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
      sigaction(signal, &action, nullptr);
    }
  }
}

void WriteToStandardErrorNow(const char* text) {
  const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

int TerminalWidth(std::FILE* stream) {
  struct winsize size {};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void SetBinaryMode(std::FILE*) {}

std::filesystem::path NativePath(const std::wstring& path) {
  return std::filesystem::path(utl::ToUtf8(path));
}

std::wstring WidePath(const std::filesystem::path& path) {
  return utl::FromUtf8(path.string());
}

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

std::uint64_t PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? std::uint64_t(pages) * std::uint64_t(size) : 0;
}

}  // namespace qxhost::sys
