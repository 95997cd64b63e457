#include "batch.h"

#include <cstdio>
#include <exception>

#include "batchworkers.h"
#include "failure.h"
#include "hostmanager.h"
#include "paths.h"
#include "threadbudget.h"
#include "utl/path.h"
#include "utl/text.h"

namespace qxhost {

namespace {

std::string Utf8(const std::wstring& text) {
  return utl::ToUtf8(text);
}

// Why file's output must not be written, from the names alone; empty when it may.
std::string Refusal(const BatchFile& file, const std::vector<std::wstring>& inputs,
                    const std::vector<BatchFile>& earlier) {
  if (SameFile(file.output, file.input)) return "its output would be the file itself";
  for (const std::wstring& other : inputs) {
    if (SameFile(file.output, other)) {
      return "its output " + Utf8(file.output) + " is one of the files to convert";
    }
  }
  for (const BatchFile& before : earlier) {
    if (before.refusal.empty() && SameFile(file.output, before.output)) {
      return "its output " + Utf8(file.output) + " is the output of " + Utf8(before.input);
    }
  }
  return "";
}

}  // namespace

std::wstring OutputName(const std::wstring& input, FileKind kind, const std::wstring& folder) {
  const utl::CPath path(input);
  const std::wstring stem = path.GetName();  // ".hidden" has no extension: ".hidden.png"
  if (folder.empty()) return path.GetFolder() + stem + ExtensionOf(kind);
  return folder + (utl::CPath::IsSeparator(folder.back()) ? L"" : L"/") + stem + ExtensionOf(kind);
}

std::vector<BatchFile> PlanBatch(const std::vector<std::wstring>& inputs, FileKind kind,
                                 const std::wstring& folder) {
  std::vector<BatchFile> plan;
  for (const std::wstring& input : inputs) {
    BatchFile file{input, OutputName(input, kind, folder), ""};
    file.refusal = Refusal(file, inputs, plan);
    plan.push_back(std::move(file));
  }
  return plan;
}

BatchResult ConvertBatchFile(const Plugin& plugin, const Options& options, const BatchFile& file,
                             ProgressBar* bar) {
  HostManager manager(bar, options.quiet);
  manager.KeepLines();
  if (options.maxPixels) manager.SetMaxPixels(*options.maxPixels);
  BatchResult result;
  if (!file.refusal.empty()) {
    manager.Say(Utf8(file.input), "not converted: " + file.refusal);
  } else if (!options.force && !options.noClobber && PathExists(file.output)) {
    // The user named the inputs, not the outputs: one that is there is nobody's to replace.
    manager.Say(Utf8(file.output), "exists: left alone (--force replaces it)");
  } else {
    result.outcome = Commands(plugin, manager, options)
                         .Convert({file.input, file.input}, {file.output, file.output});
  }
  result.lines = manager.TakeLines();
  return result;
}

namespace {

// ConvertBatchFile that never raises: a worker's failure (memory, say) is that file's alone.
BatchResult ConvertGuarded(const Plugin& plugin, const Options& options, const BatchFile& file) {
  try {
    return ConvertBatchFile(plugin, options, file, nullptr);
  } catch (const std::exception& error) {
    BatchResult result;
    result.lines.push_back(ReportLine(Utf8(file.input), error.what()));
    return result;
  }
}

}  // namespace

int RunBatch(const Plugin& plugin, const Options& options, ProgressBar* bar) {
  const std::wstring& folder = options.outputDir;
  if (!folder.empty() && !IsFolder(folder)) {
    Report(Utf8(folder), PathExists(folder) ? "not a folder" : "no such folder");
    return 1;
  }
  try {
    CheckWritable(options.to, plugin);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "qxhost: %s\n", failure.what());
    return 1;
  }
  // Files side by side, each with its own manager and filters; their lines in the order of the
  // files, under one progress line for the batch.
  const std::vector<BatchFile> plan = PlanBatch(options.files, options.to, folder);
  std::vector<BatchResult> results(plan.size());
  BatchProgress progress(bar, options.files);
  int status = 0;
  RunInOrder(
      plan.size(), options.jobs > 0 ? options.jobs : Cores(),  // a worker per core
      options.maxMemory.value_or(DefaultMaxMemory()),
      [&](std::size_t i) { return plan[i].refusal.empty() ? ImageBytes(plan[i].input) : 0; },
      [&](std::size_t i) { results[i] = ConvertGuarded(plugin, options, plan[i]); },
      [&](std::size_t i) {
        if (!results[i].lines.empty()) progress.Clear();
        for (const std::string& line : results[i].lines) std::fputs(line.c_str(), stderr);
        const Commands::Outcome outcome = results[i].outcome;
        if (outcome != Commands::Outcome::Done && outcome != Commands::Outcome::LeftAlone) {
          status = 1;
        }
        results[i] = BatchResult();
        progress.Done(i);
      });
  progress.End();
  return status;
}

}  // namespace qxhost
