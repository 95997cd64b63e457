// The formats qxhost reads and writes, in one table: each a module behind the host's filter
// interface, Sun raster through the loaded plug-in, PNM and PNG built in. Commands look a format
// up here (by --to's word, by a name's extension, by a file's content) instead of branching on it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qxio/filter.h"

namespace qxhost {

class Plugin;

struct Format {
  const char* name;     // in messages: "Sun raster", "PNM", "PNG"
  const wchar_t* word;  // --to's: "ras", "pnm", "png"
  // Lower case, without the dot; the first is the one batch gives its outputs.
  std::vector<std::wstring> extensions;
  // The option string that makes the export filter write run-length encoded files; null when
  // the format has no such storage.
  const wchar_t* runLengthOption;
  std::unique_ptr<qxio::IoImportFilter> (*createImport)(const Plugin&, qxio::IoManager&);
  // Raises the host's error when this build cannot write the format.
  std::unique_ptr<qxio::IoExportFilter> (*createExport)(const Plugin&, qxio::IoManager&);
  // Makes an image fit the format's readers before it is written; null for none.
  void (*prepare)(qxio::TrImage& image);
};

// Every format of this build, in the order they are tried on a file's content.
const std::vector<Format>& Formats();
// The format of --to's word (any letter case), or of a name's extension; null for none.
const Format* FormatOfWord(const std::wstring& word);
const Format* FormatOfName(const std::wstring& path);
// "png, pnm or ras" (with before "--to ": "--to png, --to pnm or --to ras"), ".png, .pnm, .pbm,
// .pgm, .ppm, .ras, .sun, .im1 or .rs": the choices, for messages.
std::string FormatWords(const std::wstring& before = L"");
std::string FormatExtensions();

}  // namespace qxhost
