#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <new>
#include <utility>

#include <boost/any.hpp>

#include "batch.h"
#include "failure.h"
#include "platform.h"
#include "pluginloader.h"
#include "pngcodec.h"
#include "pngio.h"
#include "spool.h"
#include "utl/bufferedfile.h"
#include "utl/colorformat.h"
#include "utl/error.h"
#include "utl/text.h"

namespace qxhost {

namespace {

std::string Utf8(const std::wstring& text) {
  return utl::ToUtf8(text);
}

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
  for (char c : Utf8(entry)) {
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
  if (const auto* text = boost::any_cast<std::wstring>(&value)) return Utf8(*text);
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

// Opens the file and reads a byte, raising the host's error with the system's reason when
// either fails (the filters' answers to a probe carry no reason); false for an empty file.
bool HasData(const std::wstring& path) {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  unsigned char byte;
  return file.Read(&byte, 1) == 1;
}

const wchar_t* ColorTypeName(int colorType) {
  switch (colorType) {
    case png::kGrey: return L"grey";
    case png::kRgb: return L"RGB";
    case png::kPalette: return L"palette";
    case png::kGreyAlpha: return L"grey with alpha";
    case png::kRgba: return L"RGB with alpha";
    default: return nullptr;
  }
}

// A PNG's header in the entries that the import filter gives for a Sun raster file.
qxio::ImportFileInfo PngInfo(const std::wstring& path) {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  const png::Kind kind = png::ReadKind(file);
  const wchar_t* colorType = ColorTypeName(kind.colorType);
  if (!colorType) {
    throw Failure("cannot read this PNG file: colour type " + std::to_string(kind.colorType));
  }
  constexpr std::uint32_t kLargest = 0x7fffffff;  // PNG's own bound
  if (kind.width > kLargest || kind.height > kLargest) {
    throw Failure("cannot read this PNG file: a width or height past 2^31 - 1");
  }
  qxio::ImportFileInfo info;
  info.m_entries[L"File Format"] = std::wstring(L"PNG Image");
  info.m_entries[L"Image Width"] = static_cast<int>(kind.width);
  info.m_entries[L"Image Height"] = static_cast<int>(kind.height);
  info.m_entries[L"Bit Depth"] = kind.bitDepth;
  info.m_entries[L"Color Type"] = std::wstring(colorType);
  info.m_entries[L"Interlaced"] = kind.interlaced;
  return info;
}

}  // namespace

Commands::Commands(const Plugin& plugin, HostManager& manager, const Options& options)
    : m_plugin(plugin), m_manager(manager), m_options(options) {}

Commands::~Commands() = default;

int Commands::Run() {
  if (!OpenStandardStreams()) return 1;
  switch (m_options.command) {
    case Command::Probe: return Probe();
    case Command::Info: return Info();
    case Command::Check: return Check();
    case Command::Convert: return ConvertPair();
    case Command::Batch: return RunBatch(m_plugin, m_options, m_manager.Bar());
    default: return 2;
  }
}

std::optional<std::string> Commands::Attempt(const FileRef& file,
                                             const std::function<void()>& work) {
  std::string message;
  try {
    work();
    return std::nullopt;
  } catch (const utl::IError& error) {
    message = DescribeError(error, file.path);
    // Writing the stand-in of standard output fails for want of room in the temporary folder.
    const bool standIn = file.path != file.shown && error.Path() == file.path;
    const utl::ErrorKind kind = error.Kind();
    if (standIn && (kind == utl::ErrorKind::FileWrite || kind == utl::ErrorKind::FileOpen)) {
      message = CannotKeepCopy(error);
    }
  } catch (const std::bad_alloc&) {
    message = "out of memory";
  } catch (const std::exception& error) {
    message = error.what();
  }
  m_manager.ClearProgress();
  return message;
}

bool Commands::Guarded(const FileRef& file, const std::function<void()>& work) {
  const std::optional<std::string> failure = Attempt(file, work);
  if (failure) m_manager.Say(Utf8(file.shown), *failure);
  return !failure;
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
    Report(Utf8(input.shown), "is a terminal: send it a file or a pipe");
    return false;
  }
  return Guarded(input, [&] {
    m_input = std::make_unique<TempFile>();
    SpoolStandardInput(*m_input);
  });
}

FileRef Commands::Input(const std::wstring& argument) const {
  if (argument == kStandardStream && m_input) return {m_input->Path(), L"standard input"};
  return {argument, argument};
}

Commands::Imported Commands::Import(const FileRef& file) {
  const auto filter = m_plugin.CreateImportFilter(m_manager);
  if (!filter->SupportsType(qxio::TrImage::GetClassTypeId())) {
    throw Failure("the plug-in's import filter does not produce images");
  }
  m_manager.SetSubject(file);
  m_manager.TakeImage();
  m_manager.TakeWarnings();
  filter->ImportFromFile(file.path);
  std::optional<qxio::TrImage> image = m_manager.TakeImage();
  if (!image) throw Failure("the import filter handed over no image");
  const std::vector<std::string> warnings = m_manager.TakeWarnings();
  const std::string shown = Utf8(file.shown);
  const int rows = image->RowsSet();
  const int height = image->GetHeight();
  // The filter's warning of data ending early says in its words what this line says better.
  if (rows < height) {
    m_manager.Say(shown, "warning: incomplete image: " + std::to_string(rows) + " of " +
                             std::to_string(height) + " rows recovered");
  } else {
    for (const std::string& warning : warnings) m_manager.Say(shown, "warning: " + warning);
  }
  return {std::move(*image), warnings.empty() && rows == height};
}

FileKind Commands::Identify(const FileRef& file) {
  if (!HasData(file.path)) throw Failure("the file is empty");
  if (HasPngSignature(file.path)) return FileKind::Png;
  if (m_plugin.CreateImportFilter(m_manager)->CanImportFile(file.path)) {
    return FileKind::SunRaster;
  }
  throw Failure("neither a Sun raster nor a PNG file");
}

void Commands::RaiseImportRefusal(const FileRef& file) {
  Import(file);
  throw Failure("the plug-in gives no description of this file");
}

Commands::Imported Commands::Read(const FileRef& file) {
  if (Identify(file) == FileKind::Png) {
    m_manager.SetSubject(file);
    std::string notice;  // a conversion that loses precision
    qxio::TrImage image = ReadPng(file.path, m_manager, &notice);
    if (!notice.empty()) m_manager.Say(Utf8(file.shown), "warning: " + notice);
    return {std::move(image), true};
  }
  return Import(file);
}

int Commands::Probe() {
  int status = 0;
  for (const std::wstring& argument : m_options.files) {
    const FileRef file = Input(argument);
    bool recognised = false;
    const bool ran = Guarded(file, [&] {
      HasData(file.path);
      recognised = m_plugin.CreateImportFilter(m_manager)->CanImportFile(file.path);
    });
    if (ran) {
      std::printf("%s: %s\n", Utf8(file.shown).c_str(),
                  recognised ? "Sun raster" : "not recognised");
    }
    if (!recognised) status = 1;
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
    const std::optional<std::string> failure = Attempt(file, [&] {
      if (Identify(file) == FileKind::Png) {
        info = PngInfo(file.path);
        return;
      }
      info = m_plugin.CreateImportFilter(m_manager)->GetImportFileInfo(0, file.path);
      if (info.m_entries.empty()) RaiseImportRefusal(file);
    });
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
      Report(Utf8(file.shown), *failure);
      continue;
    }
    if (several) std::printf("%s:\n", Utf8(file.shown).c_str());
    for (const auto& entry : InReadingOrder(info.m_entries)) {
      std::printf("%s%s: %s\n", several ? "  " : "", Utf8(entry->first).c_str(),
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
    std::optional<Imported> imported;
    if (!Guarded(file, [&] { imported = Read(file); })) {
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
    std::printf("%s: %s, %d x %d, %s\n", Utf8(file.shown).c_str(), state.c_str(), image.GetWidth(),
                image.GetHeight(), Bits(utl::BitsPerPixel(image.GetColorFormat())).c_str());
  }
  return status;
}

}  // namespace qxhost
