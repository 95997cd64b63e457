// qxhost: reads and writes Sun raster images through the vemra plug-in, as a host would.
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "hostmanager.h"
#include "options.h"
#include "pluginloader.h"
#include "pngio.h"
#include "progressbar.h"
#include "spool.h"
#include "terminal.h"
#include "utl/safesave.h"
#include "utl/text.h"

#if defined(_WIN32)
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>
#else
#include <csignal>

#include <unistd.h>
#endif

namespace {

// A signal or console event that ends qxhost removes the temporary file of a save under way,
// leaving the target as it was, and the copies of standard input and output, and ends with
// 128 + the signal's number, as a shell reports it.
#if defined(_WIN32)
BOOL WINAPI OnConsoleEvent(DWORD event) {
  utl::RemoveFilesArmedForStop();
  ::ExitProcess(event == CTRL_C_EVENT ? 128 + 2 : event == CTRL_BREAK_EVENT ? 128 + 21 : 128 + 15);
}

void EndSavesOnStopSignals() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
#else
extern "C" void OnStopSignal(int signal) {
  utl::RemoveFilesArmedForStop();
  _exit(128 + signal);
}

// A signal that qxhost's parent set to be ignored (nohup, a shell's background job) stays so.
void EndSavesOnStopSignals() {
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
#endif

// The arguments as wide strings: from the wide command line on Windows, so that names
// outside the ANSI code page survive; from UTF-8 elsewhere.
std::vector<std::wstring> Arguments(int argc, char** argv) {
  std::vector<std::wstring> args;
#if defined(_WIN32)
  (void)argc;
  (void)argv;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; wide && i < count; ++i) args.emplace_back(wide[i]);
  LocalFree(wide);
#else
  for (int i = 0; i < argc; ++i) args.push_back(utl::FromUtf8(argv[i]));
#endif
  if (args.empty()) args.emplace_back(L"qxhost");
  return args;
}

void PrintHelp() {
  std::fputs(qxhost::kUsage, stdout);
  if (!qxhost::PngSupported()) {
    std::fputs(
        "\nThis qxhost is built without PNG support: it converts between Sun raster\n"
        "files only.\n",
        stdout);
  }
}

int Run(const std::vector<std::wstring>& args) {
  using namespace qxhost;
  Options options;
  try {
    options = ParseArguments(std::vector<std::wstring>(args.begin() + 1, args.end()));
  } catch (const UsageError& error) {
    std::fprintf(stderr, "qxhost: %s\n%s", error.what(), kShortUsage);
    return 2;
  }
  if (options.command == Command::Help) {
    PrintHelp();
    return 0;
  }
  if (options.command == Command::Version) {
    std::printf("qxhost %s\n", QXHOST_VERSION);
    return 0;
  }

  ProgressBar bar(stderr, [] { return TerminalColumns(stderr); });
  HostManager manager(!options.quiet && IsTerminal(stderr) ? &bar : nullptr);
  if (options.maxPixels) manager.SetMaxPixels(*options.maxPixels);

  const std::wstring pluginPath =
      options.plugin.empty() ? DefaultPluginPath(args.front()) : options.plugin;
  std::unique_ptr<Plugin> plugin;
  try {
    plugin = std::make_unique<Plugin>(pluginPath);
  } catch (const std::exception& error) {
    Report(utl::ToUtf8(pluginPath), error.what());
    return 1;
  }

  // Every filter lives inside the command's run, so all are gone before the plug-in unloads.
  return Commands(*plugin, manager, options).Run();
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  SetConsoleOutputCP(CP_UTF8);
#endif
  EndSavesOnStopSignals();
  try {
    return Run(Arguments(argc, argv));
  } catch (const std::bad_alloc&) {
    std::fputs("qxhost: out of memory\n", stderr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qxhost: %s\n", error.what());
  }
  return 1;
}
