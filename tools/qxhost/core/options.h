// What qxhost is asked to do, as the command line gave it (cli/arguments.h reads it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/formats.h"

namespace qxhost {

enum class Command { Help, Version, Probe, Info, Check, Convert, Batch };

// "-" as a file: standard input, or standard output as convert's OUT.
inline constexpr wchar_t kStandardStream[] = L"-";

struct Options {
  Command command = Command::Help;
  // For convert: input, output. Otherwise the files to read.
  std::vector<std::wstring> files;
  std::wstring plugin;  // empty: the plug-in where qxhost is installed or built
  bool quiet = false;
  std::optional<std::uint64_t> maxPixels;
  bool json = false;  // info --json

  // convert and batch: the format to write (from --to, or from convert's OUT).
  const Format* to = nullptr;
  std::wstring outputDir;  // batch: where the outputs go; empty: beside their inputs
  bool noClobber = false;  // leave an existing output alone, and count that as done
  bool force = false;      // batch: replace outputs that are there already
  bool runLength = false;  // output run-length encoded
  unsigned jobs = 0;       // batch: files converted at once (-j); 0: one per core
  std::optional<std::uint64_t> maxMemory;  // batch: bytes of images in memory at once
  bool recursive = false;                  // batch: folders stand for the files below them (-r)
  std::wstring filesFrom;      // batch: a list of more files ("-": standard input); empty: none
  bool nullSeparated = false;  // the list's names end with NUL bytes, not line breaks (-0)
};

}  // namespace qxhost
