// The command line: what qxhost is asked to do.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qxhost {

enum class Command { Help, Version, Probe, Info, Check, Convert, Batch };
enum class FileKind { Unknown, SunRaster, Png };

// "-" as a file: standard input, or standard output as convert's OUT.
extern const wchar_t kStandardStream[];

struct Options {
  Command command = Command::Help;
  // For convert: input, output. Otherwise the files to read.
  std::vector<std::wstring> files;
  std::wstring plugin;  // empty: the plug-in where qxhost is installed or built
  bool quiet = false;
  std::optional<std::uint64_t> maxPixels;
  bool json = false;  // info --json

  // convert and batch: the format to write (from --to, or from convert's OUT).
  FileKind to = FileKind::Unknown;
  std::wstring outputDir;  // batch: where the outputs go; empty: beside their inputs
  bool noClobber = false;  // leave an existing output alone, and count that as done
  bool force = false;      // batch: replace outputs that are there already
  bool runLength = false;  // Sun raster output run-length encoded
  unsigned jobs = 0;       // batch: files converted at once (-j); 0: one per core
  std::optional<std::uint64_t> maxMemory;  // batch: bytes of images in memory at once
};

// A command line that asks for nothing qxhost can do; what() says why, in UTF-8.
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// args are the arguments after the program's name. Raises UsageError.
Options ParseArguments(const std::vector<std::wstring>& args);

// The kind of file a path asks for, by its extension (any letter case).
FileKind KindByExtension(const std::wstring& path);
// The extension convert gives the outputs it names: ".png" or ".ras".
const wchar_t* ExtensionOf(FileKind kind);

extern const char kUsage[];       // --help
extern const char kShortUsage[];  // after a usage error

}  // namespace qxhost
