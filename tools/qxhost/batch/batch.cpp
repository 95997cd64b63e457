#include "batch/batch.h"

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
std::string Refusal(const BatchFile& file, const std::vector<std::wstring>& inputs,
                    const std::vector<BatchFile>& earlier) {
  if (SameFile(file.output, file.input)) return "its output would be the file itself";
  for (const std::wstring& other : inputs) {
    if (SameFile(file.output, other)) {
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

std::wstring OutputName(const std::wstring& input, const Format& format,
                        const std::wstring& folder) {
  const utl::CPath path(input);
  // ".hidden" has no extension: ".hidden.png"
  const std::wstring name = path.GetName() + L"." + format.extensions.front();
  if (folder.empty()) return path.GetFolder() + name;
  return folder + (utl::CPath::IsSeparator(folder.back()) ? L"" : L"/") + name;
}

std::vector<BatchFile> PlanBatch(const std::vector<std::wstring>& inputs, const Format& format,
                                 const std::wstring& folder) {
  std::vector<BatchFile> plan;
  for (const std::wstring& input : inputs) {
    BatchFile file{input, OutputName(input, format, folder), ""};
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
    manager.Say(utl::ToUtf8(file.input), "not converted: " + file.refusal);
  } else if (!options.force && !options.noClobber && PathExists(file.output)) {
    // The user named the inputs, not the outputs: one that is there is nobody's to replace.
    manager.Say(utl::ToUtf8(file.output), "exists: left alone (--force replaces it)");
  } else {
    result.outcome = Conversion(plugin, manager, options)
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
    result.lines.push_back(ReportLine(utl::ToUtf8(file.input), error.what()));
    return result;
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
    HostManager manager(nullptr, true);
    Conversion files(plugin, manager, options);
    const auto failure = files.Attempt({}, [&] { files.CheckWritable(); });
    if (failure) {
      std::fprintf(stderr, "qxhost: %s\n", failure->c_str());
      return 1;
    }
  }
  // Files side by side, each with its own manager and filters; their lines in the order of the
  // files, under one progress line for the batch.
  const std::vector<BatchFile> plan = PlanBatch(options.files, *options.to, folder);
  std::vector<BatchResult> results(plan.size());
  BatchProgress progress(bar, options.files);
  int status = 0;
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
        const Conversion::Outcome outcome = results[i].outcome;
        if (outcome != Conversion::Outcome::Done && outcome != Conversion::Outcome::LeftAlone) {
          status = 1;
        }
        results[i] = BatchResult();
        progress.Done(i);
      });
  progress.End();
  return status;
}

}  // namespace qxhost
