#include "batch/batch.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "batch/batchworkers.h"
#include "core/hostmanager.h"
#include "sys/paths.h"
#include "utl/path.h"
#include "utl/text.h"
#include "utl/threadbudget.h"

namespace qxhost {

namespace {

// Why file's output must not be written, from the names alone; empty when it may.
std::string Refusal(const BatchFile& file, const std::vector<BatchInput>& inputs,
                    const std::vector<BatchFile>& earlier) {
  if (SameFile(file.output, file.input)) return "its output would be the file itself";
  for (const BatchInput& other : inputs) {
    if (SameFile(file.output, other.path)) {
      return "its output " + utl::ToUtf8(file.output) + " is one of the files to convert";
    }
  }
  for (const BatchFile& before : earlier) {
    if (before.refusal.empty() && SameFile(file.output, before.output)) {
      return "its output " + utl::ToUtf8(file.output) + " is the output of " +
             utl::ToUtf8(before.input);
    }
  }
  return "";
}

}  // namespace

std::wstring OutputName(const BatchInput& input, const Format& format, const std::wstring& folder) {
  const utl::CPath path(input.path);
  // ".hidden" has no extension: ".hidden.png"
  const std::wstring name = path.GetName() + L"." + format.extensions.front();
  if (folder.empty()) return path.GetFolder() + name;
  return folder + (utl::CPath::IsSeparator(folder.back()) ? L"" : L"/") + input.subfolder + name;
}

std::vector<BatchFile> PlanBatch(const std::vector<BatchInput>& inputs, const Format& format,
                                 const std::wstring& folder) {
  std::vector<BatchFile> plan;
  for (const BatchInput& input : inputs) {
    BatchFile file{input.path, OutputName(input, format, folder), "",
                   !folder.empty() && !input.subfolder.empty()};
    file.refusal = Refusal(file, inputs, plan);
    plan.push_back(std::move(file));
  }
  return plan;
}

std::string BatchSummary(const std::vector<Conversion::Outcome>& outcomes) {
  using Outcome = Conversion::Outcome;
  const std::pair<Outcome, const char*> words[] = {{Outcome::Done, "converted"},
                                                   {Outcome::Incomplete, "incomplete"},
                                                   {Outcome::Failed, "failed"},
                                                   {Outcome::LeftAlone, "left alone"}};
  std::string summary;
  for (const auto& [outcome, word] : words) {
    const auto count = std::count(outcomes.begin(), outcomes.end(), outcome);
    if (count == 0 && outcome != Outcome::Done) continue;
    summary += (summary.empty() ? "" : ", ") + std::to_string(count) + " " + word;
  }
  return summary;
}

BatchResult ConvertBatchFile(const Plugin& plugin, const Options& options, const BatchFile& file,
                             ProgressBar* bar) {
  HostManager manager(bar, options.quiet);
  manager.KeepLines();
  if (options.maxPixels) manager.SetMaxPixels(*options.maxPixels);
  BatchResult result;
  std::string reason;
  if (!file.refusal.empty()) {
    manager.Say(utl::ToUtf8(file.input), "not converted: " + file.refusal);
  } else if (!options.force && !options.noClobber && PathExists(file.output)) {
    // The user named the inputs, not the outputs: one that is there is nobody's to replace.
    manager.Say(utl::ToUtf8(file.output),
                "exists: left alone (-n to resume a batch, --force to replace it)");
    result.outcome = Conversion::Outcome::LeftAlone;
  } else if (file.newFolders && !MakeFolderOf(file.output, reason)) {
    manager.Say(utl::ToUtf8(file.output), reason);
  } else {
    result.outcome = Conversion(plugin, manager, options)
                         .Convert({file.input, file.input}, {file.output, file.output});
    result.fails = result.outcome != Conversion::Outcome::Done &&
                   result.outcome != Conversion::Outcome::LeftAlone;
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
    result.lines.push_back(ReportLine(utl::ToUtf8(file.input), error.what()));
    return result;
  }
}

}  // namespace

namespace {

// Whether a file found in a folder is one to convert: a format reads it, and not the one to
// write, which would make outputs of the outputs of an earlier run. A file that cannot be read
// is taken, for its conversion to say why.
bool Convertible(const Plugin& plugin, const Options& options, const std::wstring& path) {
  HostManager manager(nullptr);
  Conversion conversion(plugin, manager, options);
  try {
    const Format* format = conversion.Recognise({path, path});
    return format && format != options.to;
  } catch (const std::exception&) {
    return true;
  }
}

}  // namespace

int RunBatch(const Plugin& plugin, const Options& options, ProgressBar* bar) {
  const std::wstring& folder = options.outputDir;
  if (!folder.empty() && !IsFolder(folder)) {
    Report(utl::ToUtf8(folder), PathExists(folder) ? "not a folder" : "no such folder");
    return 1;
  }
  {
    HostManager manager(nullptr);
    Conversion files(plugin, manager, options);
    const auto failure = files.Attempt({}, [&] { files.CheckWritable(); });
    if (failure) {
      std::fprintf(stderr, "qxhost: %s\n", failure->c_str());
      return 1;
    }
  }
  bool failed = false;
  const std::vector<BatchInput> inputs = CollectInputs(
      options, [&](const std::wstring& path) { return Convertible(plugin, options, path); },
      [](const std::wstring& name, const std::string& reason) {
        Report(utl::ToUtf8(name), reason);
      },
      failed);
  // Files side by side, each with its own manager and filters; their lines in the order of the
  // files, under one progress line for the batch.
  const std::vector<BatchFile> plan = PlanBatch(inputs, *options.to, folder);
  std::vector<BatchResult> results(plan.size());
  std::vector<Conversion::Outcome> outcomes(plan.size());
  std::vector<std::wstring> paths;
  for (const BatchFile& file : plan) paths.push_back(file.input);
  BatchProgress progress(bar, paths);
  int status = failed ? 1 : 0;
  RunInOrder(
      plan.size(), options.jobs > 0 ? options.jobs : utl::Cores(),  // a worker per core
      options.maxMemory.value_or(DefaultMaxMemory()),
      [&](std::size_t i) {
        return plan[i].refusal.empty() ? ImageBytes(plugin, plan[i].input) : 0;
      },
      [&](std::size_t i) { results[i] = ConvertGuarded(plugin, options, plan[i]); },
      [&](std::size_t i) {
        if (!results[i].lines.empty()) progress.Clear();
        for (const std::string& line : results[i].lines) std::fputs(line.c_str(), stderr);
        if (results[i].fails) status = 1;
        outcomes[i] = results[i].outcome;
        results[i] = BatchResult();
        progress.Done(i);
      });
  progress.Clear();
  // The last line, for a terminal and a log alike, once the files are more than one.
  if (plan.size() > 1 && !options.quiet) {
    std::fprintf(stderr, "qxhost: %s\n", BatchSummary(outcomes).c_str());
  }
  return status;
}

}  // namespace qxhost
