#include "cli/arguments.h"

#include <algorithm>
#include <limits>

#include "utl/path.h"
#include "utl/text.h"

namespace qxhost {

const char kUsage[] =
    "usage: qxhost [options] COMMAND FILE...\n"
    "\n"
    "Reads and writes Sun raster images through the vemra plug-in. A FILE of '-' is\n"
    "standard input; as convert's OUT it is standard output.\n"
    "\n"
    "commands:\n"
    "  probe FILE...     name the format of each file (Sun raster, PNM or PNG)\n"
    "  info FILE...      describe each file: its format, width and height, and\n"
    "                    bits per pixel, storage type and colour-map entries (Sun\n"
    "                    raster), storage type and maxval (PNM) or bit depth,\n"
    "                    colour type and interlacing (PNG)\n"
    "  check FILE...     read each file completely and report its size or its fault\n"
    "  convert IN OUT    convert IN (Sun raster, PNM or PNG, told by its content) into\n"
    "                    OUT; with two files, convert always writes the second from\n"
    "                    the first. The format is --to's, else OUT's extension's:\n"
    "                    .ras .sun .im1 .rs (Sun raster), .pnm .pbm .pgm .ppm (PNM:\n"
    "                    PBM, PGM or PPM as the image needs) or .png\n"
    "  batch --to FORMAT FILE...\n"
    "                    convert each FILE into a file named after it with FORMAT's\n"
    "                    extension, beside it or in --output-dir, never over one of\n"
    "                    the FILEs; a file that is there already is left alone unless\n"
    "                    --force or -n is given; a last line counts the outcomes.\n"
    "                    'convert --to FORMAT --output-dir DIR FILE...' is the same\n"
    "\n"
    "options:\n"
    "  --to FORMAT       png, pnm or ras: the format convert or batch writes\n"
    "  --output-dir DIR  put the files batch writes in DIR\n"
    "  -f, --force       let batch replace files that are there already\n"
    "  -n, --no-clobber  let convert and batch leave files that are there already\n"
    "                    alone, and count that as success\n"
    "  -j N, --jobs N    let batch convert N files at once on N threads in all\n"
    "                    (default: one per core)\n"
    "  -r, --recursive   let batch take folders: the files below them that qxhost\n"
    "                    reads, told by their content, other than those already in\n"
    "                    the format to write; links to folders are not followed.\n"
    "                    Outputs mirror the tree in --output-dir, else lie beside\n"
    "                    their inputs\n"
    "  --files-from LIST let batch also convert the files named in LIST, one a line\n"
    "                    ('-': standard input)\n"
    "  -0, --null        the names in LIST end with NUL bytes (find -print0)\n"
    "  --max-memory SIZE let batch hold at most SIZE bytes of images at once (K, M\n"
    "                    or G for KiB, MiB or GiB; default: half the memory); a\n"
    "                    file waits for others to end rather than exceed it\n"
    "  --rle             write Sun raster files run-length encoded (smaller for\n"
    "                    images with areas of one colour)\n"
    "  --json            let info print a JSON array with an object per file\n"
    "  --plugin PATH     load the plug-in from PATH instead of beside qxhost or in\n"
    "                    ../lib/vemra from it\n"
    "  --max-pixels N    refuse images of more than N pixels (0: no limit;\n"
    "                    default 1073741824)\n"
    "  -q, --quiet       show no progress and no notes\n"
    "  -h, --help        show this help\n"
    "  --version         show qxhost's version\n"
    "\n"
    "exit status: 0 success; 1 a file failed, was incomplete or was left alone\n"
    "without --no-clobber; 2 the command line was wrong\n";

const char kShortUsage[] =
    "usage: qxhost [options] probe|info|check FILE...\n"
    "       qxhost [options] convert IN OUT\n"
    "       qxhost [options] batch --to png|pnm|ras [-r] [-j N] [--output-dir DIR] FILE...\n"
    "       qxhost --help | --version\n";

namespace {

// The whole number that text's first digits (all of them) spell; false when there are none
// or it overflows. end receives where the digits end.
bool LeadingNumber(const std::wstring& text, std::uint64_t& value, std::size_t& end) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  value = 0;
  for (end = 0; end < text.size() && text[end] >= L'0' && text[end] <= L'9'; ++end) {
    const auto digit = static_cast<std::uint64_t>(text[end] - L'0');
    if (value > (kMax - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return end > 0;
}

std::uint64_t ParseCount(const std::wstring& text) {
  std::uint64_t value = 0;
  std::size_t end = 0;
  if (!LeadingNumber(text, value, end) || end != text.size()) {
    throw UsageError("--max-pixels takes a whole number of pixels, not '" + utl::ToUtf8(text) +
                     "'");
  }
  return value;
}

unsigned ParseJobs(const std::wstring& text) {
  std::uint64_t value = 0;
  std::size_t end = 0;
  if (!LeadingNumber(text, value, end) || end != text.size() || value < 1 || value > 1024) {
    throw UsageError("-j takes a number of files from 1 to 1024, not '" + utl::ToUtf8(text) + "'");
  }
  return static_cast<unsigned>(value);
}

// Bytes, or KiB, MiB or GiB with K, M or G after the number.
std::uint64_t ParseSize(const std::wstring& text) {
  std::uint64_t value = 0;
  std::size_t end = 0;
  const bool number = LeadingNumber(text, value, end);
  const std::wstring unit = text.substr(end);
  const int shift = unit.empty()                   ? 0
                    : unit == L"K" || unit == L"k" ? 10
                    : unit == L"M" || unit == L"m" ? 20
                    : unit == L"G" || unit == L"g" ? 30
                                                   : -1;
  if (!number || value == 0 || shift < 0 || value > (~std::uint64_t{0} >> shift)) {
    throw UsageError("--max-memory takes a size such as 512M or 4G, not '" + utl::ToUtf8(text) +
                     "'");
  }
  return value << shift;
}

const Format* ParseFormat(const std::wstring& text) {
  const Format* format = FormatOfWord(text);
  if (!format)
    throw UsageError("--to takes " + FormatWords() + ", not '" + utl::ToUtf8(text) + "'");
  return format;
}

bool IsStream(const std::wstring& file) {
  return file == kStandardStream;
}

// convert IN OUT: the first file into the second, whatever is or is not there, so that what a
// command line does never depends on the files that exist or on how many a pattern matched.
void ResolveConvert(Options& options, bool toGiven) {
  const std::vector<std::wstring>& files = options.files;
  if (files.size() != 2) {
    throw UsageError(
        "convert takes an input and an output file; batch converts each file into one named "
        "after it");
  }
  const Format* named = IsStream(files[1]) ? nullptr : FormatOfName(files[1]);
  if (!toGiven && IsStream(files[1])) {
    throw UsageError("writing to standard output needs " + FormatWords(L"--to "));
  }
  if (!toGiven && !named) {
    throw UsageError("cannot tell the output format from '" + utl::ToUtf8(files[1]) + "': use " +
                     FormatExtensions() + ", or --to");
  }
  if (toGiven && named && named != options.to) {
    throw UsageError("'" + utl::ToUtf8(files[1]) + "' does not name a " +
                     utl::ToUtf8(options.to->word) + " file, which --to asks for");
  }
  if (!toGiven) options.to = named;
}

// batch --to FORMAT FILE..., or its older spelling convert --to FORMAT --output-dir DIR FILE...
void ResolveBatch(Options& options, bool toGiven, const std::wstring& command) {
  if (!toGiven) {
    throw UsageError(utl::ToUtf8(command) + " needs " + FormatWords(L"--to ") + " to name outputs");
  }
  if (options.files.empty() && options.filesFrom.empty()) {
    throw UsageError("batch needs at least one file, or --files-from");
  }
  if (options.nullSeparated && options.filesFrom.empty()) {
    throw UsageError("--null goes with --files-from");
  }
  for (const std::wstring& file : options.files) {
    if (IsStream(file)) {
      throw UsageError("'-' has no name to give its output: use convert --to " +
                       utl::ToUtf8(options.to->word) + " - OUT");
    }
  }
}

}  // namespace

Options ParseArguments(const std::vector<std::wstring>& args, const WildcardExpander& expand) {
  Options options;
  bool help = false;
  bool version = false;
  bool toGiven = false;
  std::string force;                        // as given, for a message when misplaced
  std::vector<std::string> convertOptions;  // as given, for a message when misplaced
  std::vector<std::string> batchOptions;    // the same for the options of batch alone
  std::vector<std::wstring> words;
  std::vector<std::size_t> wordArgs;  // where each word stands in args
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != L'-') {
      words.push_back(arg);
      wordArgs.push_back(i);
      continue;
    }
    // "--name=value" and "--name value" both work for the options that take a value.
    const std::size_t equals = arg.find(L'=');
    const std::wstring name = arg.substr(0, equals);
    auto value = [&]() -> std::wstring {
      if (equals != std::wstring::npos) return arg.substr(equals + 1);
      if (i + 1 >= args.size()) throw UsageError(utl::ToUtf8(name) + " needs a value");
      return args[++i];
    };
    if (arg == L"--") {
      optionsEnded = true;
    } else if (arg == L"--help" || arg == L"-h") {
      help = true;
    } else if (arg == L"--version") {
      version = true;
    } else if (arg == L"--quiet" || arg == L"-q") {
      options.quiet = true;
    } else if (arg == L"--json") {
      options.json = true;
    } else if (arg == L"--no-clobber" || arg == L"-n") {
      options.noClobber = true;
      convertOptions.push_back(utl::ToUtf8(arg));
    } else if (arg == L"--force" || arg == L"-f") {
      options.force = true;
      force = utl::ToUtf8(arg);
    } else if (arg == L"--rle") {
      options.runLength = true;
      convertOptions.push_back("--rle");
    } else if (name == L"--to") {
      options.to = ParseFormat(value());
      toGiven = true;
      convertOptions.push_back("--to");
    } else if (name == L"--output-dir") {
      options.outputDir = value();
      if (options.outputDir.empty()) throw UsageError("--output-dir needs a folder");
      convertOptions.push_back("--output-dir");
    } else if (name == L"--plugin") {
      options.plugin = value();
      if (options.plugin.empty()) throw UsageError("--plugin needs a path");
    } else if (name == L"--max-pixels") {
      options.maxPixels = ParseCount(value());
    } else if (name == L"--jobs" || name == L"-j") {
      options.jobs = ParseJobs(value());
      batchOptions.push_back(utl::ToUtf8(name));
    } else if (arg.size() > 2 && arg.compare(0, 2, L"-j") == 0) {
      options.jobs = ParseJobs(arg.substr(2));
      batchOptions.push_back("-j");
    } else if (arg == L"--recursive" || arg == L"-r") {
      options.recursive = true;
      batchOptions.push_back(utl::ToUtf8(arg));
    } else if (name == L"--files-from") {
      options.filesFrom = value();
      if (options.filesFrom.empty())
        throw UsageError("--files-from needs a file ('-': standard input)");
      batchOptions.push_back("--files-from");
    } else if (arg == L"--null" || arg == L"-0") {
      options.nullSeparated = true;
      batchOptions.push_back(utl::ToUtf8(arg));
    } else if (name == L"--max-memory") {
      options.maxMemory = ParseSize(value());
      batchOptions.push_back("--max-memory");
    } else {
      throw UsageError("unknown option '" + utl::ToUtf8(arg) + "'");
    }
  }

  if (help) return options;
  if (version) {
    options.command = Command::Version;
    return options;
  }
  if (words.empty()) throw UsageError("no command given");
  const std::wstring command = words.front();
  // convert IN OUT is two names whatever a pattern would match.
  const bool expands = expand && (command != L"convert" || !options.outputDir.empty());
  for (std::size_t k = 1; k < words.size(); ++k) {
    const std::vector<std::wstring> names =
        expands ? expand(wordArgs[k]) : std::vector<std::wstring>();
    if (names.empty()) options.files.push_back(words[k]);
    options.files.insert(options.files.end(), names.begin(), names.end());
  }
  if (command == L"probe") {
    options.command = Command::Probe;
  } else if (command == L"info") {
    options.command = Command::Info;
  } else if (command == L"check") {
    options.command = Command::Check;
  } else if (command == L"convert") {
    // --output-dir names where outputs made from the inputs' names go: the batch form.
    options.command = options.outputDir.empty() ? Command::Convert : Command::Batch;
  } else if (command == L"batch") {
    options.command = Command::Batch;
  } else {
    throw UsageError("unknown command '" + utl::ToUtf8(command) + "'");
  }
  if (options.json && options.command != Command::Info) throw UsageError("--json goes with info");
  const bool converts = options.command == Command::Convert || options.command == Command::Batch;
  if (!convertOptions.empty() && !converts) {
    throw UsageError(convertOptions.front() + " goes with convert or batch");
  }
  if (options.force && options.command != Command::Batch) {
    throw UsageError(force + " goes with batch: convert replaces its OUT anyway");
  }
  if (!batchOptions.empty() && options.command != Command::Batch) {
    throw UsageError(batchOptions.front() + " goes with batch");
  }
  if (options.force && options.noClobber) {
    throw UsageError(force + " and --no-clobber ask for opposite things");
  }
  if (options.command == Command::Convert) ResolveConvert(options, toGiven);
  if (options.command == Command::Batch) ResolveBatch(options, toGiven, command);
  if (converts) {
    if (options.runLength && !options.to->runLengthOption) {
      throw UsageError("--rle needs a Sun raster output");
    }
  } else if (options.files.empty()) {
    throw UsageError(utl::ToUtf8(command) + " needs at least one file");
  }
  // Standard input can be read once; convert takes it as its one input, if at all.
  if (std::count(options.files.begin(), options.files.end(), kStandardStream) > 1 && !converts) {
    throw UsageError("standard input ('-') can be read only once");
  }
  return options;
}

}  // namespace qxhost
