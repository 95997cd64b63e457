// batch: each file converted into one named after it, beside it or in a folder of the user's.
#pragma once

#include <string>
#include <vector>

#include "batch/batchinputs.h"
#include "core/conversion.h"
#include "core/options.h"

namespace qxhost {

class Plugin;
class ProgressBar;

// One file of a batch: its output's name, or why it is not converted at all.
struct BatchFile {
  std::wstring input;
  std::wstring output;
  std::string refusal;      // empty: convert it
  bool newFolders = false;  // the output's folder is made when missing
};

// What converting one file of a batch came to, and the lines to print about it, in order.
struct BatchResult {
  Conversion::Outcome outcome = Conversion::Outcome::Failed;
  bool fails = true;  // whether it makes the batch's exit status 1
  std::vector<std::string> lines;
};

// input's name with the extension of format instead of its own: beside input, or in
// folder/subfolder when a folder is given.
std::wstring OutputName(const BatchInput& input, const Format& format, const std::wstring& folder);

// The batch's files in the order of the inputs, decided from their names alone before any is
// converted: an output that would be one of the inputs, or an earlier file's output, is refused.
std::vector<BatchFile> PlanBatch(const std::vector<BatchInput>& inputs, const Format& format,
                                 const std::wstring& folder);

// "58 converted, 2 failed, 1 left alone": what a batch came to, the counts that are not 0 (the
// converted always).
std::string BatchSummary(const std::vector<Conversion::Outcome>& outcomes);

// Converts one planned file with a manager and filters of its own, so that files may be
// converted side by side: it changes nothing it is given but bar. An output that is there
// already is left alone unless options.force.
BatchResult ConvertBatchFile(const Plugin& plugin, const Options& options, const BatchFile& file,
                             ProgressBar* bar);

// Converts every file of options.files, going on after a failure so that one bad file in a
// folder of many costs only itself. Returns the exit status.
int RunBatch(const Plugin& plugin, const Options& options, ProgressBar* bar);

}  // namespace qxhost
