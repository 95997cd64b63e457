// qxhost: reads and writes Sun raster images through the vemra plug-in, as a host would.
#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "core/formats.h"
#include "core/hostmanager.h"
#include "core/pluginloader.h"
#include "core/progressbar.h"
#include "sys/platform.h"
#include "utl/error.h"
#include "utl/safesave.h"
#include "utl/text.h"

namespace {

// A stop ends the progress line, so that the shell's next line starts on a line of its own,
// and removes the temporary file of a save under way, leaving the target as it was, and the
// copies of standard input and output.
void OnStop() {
  if (qxhost::ProgressBar::LineShown()) qxhost::sys::WriteToStandardErrorNow("\n");
  utl::RemoveFilesArmedForStop();
}

// Output that did not arrive (a full disk) is a failure, as GNU tools report it at exit: the
// final flush is checked, and a write that failed before it. Returns the exit status.
int CheckStandardOutput(int status) {
  const bool failedBefore = std::ferror(stdout) != 0;
  errno = 0;
  if (std::fflush(stdout) == 0 && !failedBefore) return status;
  const std::string reason = errno != 0 ? utl::ToUtf8(utl::ErrnoText(errno)) : "write error";
  qxhost::Report("standard output", reason);
  return status != 0 ? status : 1;
}

void PrintHelp() {
  std::fputs(qxhost::kUsage, stdout);
  if (!qxhost::FormatOfWord(L"png")) {
    std::fputs(
        "\nThis qxhost is built without PNG support: it converts between Sun raster\n"
        "and PNM files only.\n",
        stdout);
  }
}

int Run(const std::vector<std::wstring>& args) {
  using namespace qxhost;
  Options options;
  try {
    // Where the system leaves patterns to programs, each argument's index counts from the first
    // after the program's name, as ParseArguments's do.
    options = ParseArguments(std::vector<std::wstring>(args.begin() + 1, args.end()),
                             sys::WildcardMatches);
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
  HostManager manager(!options.quiet && sys::IsTerminal(stderr) ? &bar : nullptr, options.quiet);
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
  if (options.command == Command::Batch) return RunBatch(*plugin, options, manager.Bar());
  return Commands(*plugin, manager, options).Run();
}

}  // namespace

int main(int argc, char** argv) {
  qxhost::sys::FillClosedStandardStreams();
  qxhost::sys::UseUtf8Console();
  qxhost::sys::EndProcessOnStop(OnStop);
  try {
    std::vector<std::wstring> args = qxhost::sys::Arguments(argc, argv);
    if (args.empty()) args.emplace_back(L"qxhost");
    return CheckStandardOutput(Run(args));
  } catch (const std::bad_alloc&) {
    std::fputs("qxhost: out of memory\n", stderr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qxhost: %s\n", error.what());
  }
  return 1;
}
