#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <utility>

#include <boost/any.hpp>

#include "core/pluginloader.h"
#include "sys/fail.h"
#include "sys/paths.h"
#include "sys/platform.h"
#include "sys/spool.h"
#include "utl/colorformat.h"
#include "utl/text.h"

namespace qxhost {

namespace {

// The file information's entries in the order people read them, with their JSON keys; entries
// a plug-in adds beyond these follow in its order.
struct EntryName {
  const wchar_t* entry;
  const char* json;
};
constexpr EntryName kEntryOrder[] = {
    {L"File Format", "format"},        {L"Image Width", "width"},
    {L"Image Height", "height"},       {L"Image Bits Per Pixel", "bits_per_pixel"},
    {L"Storage Type", "storage_type"}, {L"Color Map Entries", "color_map_entries"},
    {L"Bit Depth", "bit_depth"},       {L"Color Type", "color_type"},
    {L"Interlaced", "interlaced"},
};

using Entries = qxio::ImportFileInfo::Entries;

std::vector<Entries::const_iterator> InReadingOrder(const Entries& entries) {
  std::vector<Entries::const_iterator> ordered;
  for (const EntryName& name : kEntryOrder) {
    const auto it = entries.find(name.entry);
    if (it != entries.end()) ordered.push_back(it);
  }
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (std::find(ordered.begin(), ordered.end(), it) == ordered.end()) ordered.push_back(it);
  }
  return ordered;
}

std::string JsonKey(const std::wstring& entry) {
  for (const EntryName& name : kEntryOrder) {
    if (entry == name.entry) return name.json;
  }
  std::string key;
  for (char c : utl::ToUtf8(entry)) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    key += word ? c : c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : '_';
  }
  return key;
}

bool IsSurrogate(wchar_t c, wchar_t first) {
  return static_cast<std::uint32_t>(c) >= static_cast<std::uint32_t>(first) &&
         static_cast<std::uint32_t>(c) < static_cast<std::uint32_t>(first) + 0x400;
}

// A JSON string: quotes, backslashes and control characters escaped, the rest as UTF-8. A
// surrogate that pairs with nothing (a byte of a name that is not UTF-8 is held as one, U+DC80
// to U+DCFF) is escaped as \uXXXX: the text stays UTF-8, and Python's json gives the name
// back as the bytes that os.fsencode restores.
std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    const bool paired = sizeof(wchar_t) == 2 && IsSurrogate(c, 0xD800) && i + 1 < text.size() &&
                        IsSurrogate(text[i + 1], 0xDC00);
    if (paired) {
      out += utl::ToUtf8(text.substr(i++, 2));
    } else if (c == L'"' || c == L'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || IsSurrogate(c, 0xD800) || IsSurrogate(c, 0xDC00)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += utl::ToUtf8(std::wstring(1, c));
    }
  }
  return out + "\"";
}

std::string JsonString(const std::string& utf8) {
  return JsonString(utl::FromUtf8(utf8));
}

std::string TextValue(const boost::any& value) {
  if (const auto* text = boost::any_cast<std::wstring>(&value)) return utl::ToUtf8(*text);
  if (const auto* yes = boost::any_cast<bool>(&value)) return *yes ? "yes" : "no";
  if (const auto* number = boost::any_cast<int>(&value)) return std::to_string(*number);
  return "(a value of an unknown type)";
}

std::string JsonValue(const boost::any& value) {
  if (const auto* number = boost::any_cast<int>(&value)) return std::to_string(*number);
  if (const auto* yes = boost::any_cast<bool>(&value)) return *yes ? "true" : "false";
  return JsonString(TextValue(value));
}

std::string Bits(int bits) {
  return std::to_string(bits) + (bits == 1 ? " bit" : " bits");
}

}  // namespace

Commands::Commands(const Plugin& plugin, HostManager& manager, const Options& options)
    : m_options(options), m_files(plugin, manager, options) {}

Commands::~Commands() = default;

int Commands::Run() {
  if (!OpenStandardStreams()) return 1;
  switch (m_options.command) {
    case Command::Probe: return Probe();
    case Command::Info: return Info();
    case Command::Check: return Check();
    default: return ConvertPair();  // main runs help, version and batch itself
  }
}

// A standard stream that a terminal stands behind holds no image: qxhost says so instead of
// waiting for the user's typing or filling the screen with bytes.
bool Commands::OpenStandardStreams() {
  const std::vector<std::wstring>& files = m_options.files;
  const bool toOutput = m_options.command == Command::Convert;
  if (toOutput && files[1] == kStandardStream && sys::IsTerminal(stdout)) {
    Report("standard output", "is a terminal: send it to a file or a pipe");
    return false;
  }
  const auto inputsEnd = files.end() - (toOutput ? 1 : 0);
  if (std::find(files.begin(), inputsEnd, kStandardStream) == inputsEnd) return true;
  const FileRef input{L"", L"standard input"};
  if (sys::IsTerminal(stdin)) {
    Report(utl::ToUtf8(input.shown), "is a terminal: send it a file or a pipe");
    return false;
  }
  return m_files.Guarded(input, [&] {
    m_input = std::make_unique<TempFile>();
    SpoolStandardInput(*m_input);
  });
}

FileRef Commands::Input(const std::wstring& argument) const {
  if (argument == kStandardStream && m_input) return {m_input->Path(), L"standard input"};
  return {argument, argument};
}

int Commands::Probe() {
  int status = 0;
  for (const std::wstring& argument : m_options.files) {
    const FileRef file = Input(argument);
    const Format* format = nullptr;
    if (m_files.Guarded(file, [&] { format = m_files.Recognise(file); })) {
      std::printf("%s: %s\n", utl::ToUtf8(file.shown).c_str(),
                  format ? format->name : "not recognised");
    }
    if (!format) status = 1;
  }
  return status;
}

int Commands::Info() {
  int status = 0;
  const bool several = m_options.files.size() > 1;
  if (m_options.json) std::printf("[");
  const char* separator = "\n";
  for (const std::wstring& argument : m_options.files) {
    const FileRef file = Input(argument);
    qxio::ImportFileInfo info;
    const std::optional<std::string> failure =
        m_files.Attempt(file, [&] { info = m_files.Describe(file); });
    if (failure) status = 1;
    if (m_options.json) {
      // The name as typed, "-" included: the one a program that reads the JSON can use.
      std::printf("%s  {\"file\": %s", separator, JsonString(argument).c_str());
      if (failure) std::printf(", \"error\": %s", JsonString(*failure).c_str());
      for (const auto& entry : InReadingOrder(info.m_entries)) {
        std::printf(", %s: %s", JsonString(JsonKey(entry->first)).c_str(),
                    JsonValue(entry->second).c_str());
      }
      std::printf("}");
      separator = ",\n";
      continue;
    }
    if (failure) {
      Report(utl::ToUtf8(file.shown), *failure);
      continue;
    }
    if (several) std::printf("%s:\n", utl::ToUtf8(file.shown).c_str());
    for (const auto& entry : InReadingOrder(info.m_entries)) {
      std::printf("%s%s: %s\n", several ? "  " : "", utl::ToUtf8(entry->first).c_str(),
                  TextValue(entry->second).c_str());
    }
  }
  if (m_options.json) std::printf("\n]\n");
  return status;
}

// A file that imports with a warning (data ending early) counts as failed: the image is
// incomplete, which is what a check is for.
int Commands::Check() {
  int status = 0;
  for (const std::wstring& argument : m_options.files) {
    const FileRef file = Input(argument);
    std::optional<Conversion::Imported> imported;
    if (!m_files.Guarded(file, [&] { imported = m_files.Read(file); })) {
      status = 1;
      continue;
    }
    const qxio::TrImage& image = imported->image;
    std::string state = "ok";
    if (!imported->complete) {
      status = 1;
      state = "incomplete, " + std::to_string(image.RowsSet()) + " of " +
              std::to_string(image.GetHeight()) + " rows";
    }
    std::printf("%s: %s, %d x %d, %s\n", utl::ToUtf8(file.shown).c_str(), state.c_str(),
                image.GetWidth(), image.GetHeight(),
                Bits(utl::BitsPerPixel(image.GetColorFormat())).c_str());
  }
  return status;
}

int Commands::ConvertPair() {
  const std::wstring& target = m_options.files[1];
  // Refuse what cannot be written before spending time on the input.
  if (!m_files.Guarded({target, target}, [&] { m_files.CheckWritable(); })) return 1;
  const FileRef input = Input(m_options.files[0]);
  const bool toStandardOutput = target == kStandardStream;
  // A run-length file's header is completed after its last row, which a pipe or a device that
  // has taken the first bytes cannot take back: such a file goes through a copy of qxhost's own,
  // as for standard output. --no-clobber leaves the device alone before anything is read.
  const bool runLength = m_options.runLength;
  if (!toStandardOutput && (!runLength || m_options.noClobber || !IsDevice(target))) {
    const Conversion::Outcome outcome = m_files.Convert(input, {target, target});
    return outcome == Conversion::Outcome::Done || outcome == Conversion::Outcome::LeftAlone ? 0
                                                                                             : 1;
  }
  std::unique_ptr<TempFile> spool;
  FileRef output{L"", toStandardOutput ? std::wstring(L"standard output") : target};
  if (!m_files.Guarded(output, [&] {
        spool = std::make_unique<TempFile>();
        spool->File().Close();  // the output is written in its place
      })) {
    return 1;
  }
  output.path = spool->Path();
  const Conversion::Outcome outcome = m_files.Convert(input, output);
  if (outcome == Conversion::Outcome::Failed) return 1;
  // Nothing of ours stays in the temporary folder should the reader of standard output stop
  // early, which ends qxhost by a signal.
  m_input.reset();
  // The device's own errors name it as they would had it been written in place.
  const FileRef copy = toStandardOutput ? output : FileRef{target, target};
  if (!m_files.Guarded(copy, [&] {
        if (toStandardOutput) {
          CopyToStandardOutput(output.path);
        } else {
          CopyToDevice(output.path, target);
        }
      })) {
    std::clearerr(stdout);  // said already
    return 1;
  }
  return outcome == Conversion::Outcome::Done ? 0 : 1;
}

}  // namespace qxhost
