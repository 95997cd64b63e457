// The files a batch converts: those named on the command line or in a list (--files-from), and
// with -r those found in the folders among them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/options.h"

namespace qxhost {

// A file to convert, and the folder under the output folder its output goes to: the path of its
// own folder below the folder named on the command line (empty for a file named itself).
struct BatchInput {
  std::wstring path;
  std::wstring subfolder;
};

// Splits a list of names: one a line (a line's ending CR taken away on Windows, where names
// cannot hold it), or ended by NUL bytes when nullSeparated, as `find -print0` writes them.
// Empty names are skipped; the others are kept byte for byte (in the host's wide form).
std::vector<std::wstring> SplitNameList(const std::string& bytes, bool nullSeparated);

// Collects the batch's inputs in order: options.files, then the names of options.filesFrom. With
// options.recursive a folder stands for the files below it that convertible says it can convert,
// in the order of their names; links to folders inside it are not followed, and a folder that
// is the output folder is not entered. A list or a folder that cannot be read is said through
// report(name, reason) and makes failed true; the other inputs are still collected.
std::vector<BatchInput> CollectInputs(
    const Options& options, const std::function<bool(const std::wstring&)>& convertible,
    const std::function<void(const std::wstring&, const std::string&)>& report, bool& failed);

}  // namespace qxhost
