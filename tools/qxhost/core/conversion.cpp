#include "core/conversion.h"

#include <new>
#include <utility>

#include "core/pluginloader.h"
#include "sys/fail.h"
#include "sys/paths.h"
#include "sys/spool.h"
#include "utl/bufferedfile.h"
#include "utl/error.h"
#include "utl/text.h"

namespace qxhost {

namespace {

// Opens the file and reads a byte, raising the host's error with the system's reason when
// either fails (the filters' answers to a probe carry no reason); false for an empty file. A
// named pipe is refused unopened: each of a conversion's reads opens the file again, and a pipe
// gives its bytes to the first alone, then waits for a writer that never comes.
bool HasData(const std::wstring& path) {
  if (IsPipe(path)) Fail("is a pipe: send it to standard input ('-') instead");
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  unsigned char byte;
  return file.Read(&byte, 1) == 1;
}

// "neither a Sun raster nor a PNM nor a PNG file": every build reads two formats at least.
std::string NoFormatOf() {
  const std::vector<Format>& formats = Formats();
  std::string text = "neither";
  for (std::size_t i = 0; i < formats.size(); ++i) {
    text += std::string(i == 0 ? " a " : " nor a ") + formats[i].name;
  }
  return text + " file";
}

}  // namespace

Conversion::Conversion(const Plugin& plugin, HostManager& manager, const Options& options)
    : m_plugin(plugin), m_manager(manager), m_options(options) {}

const Format* Conversion::Recognise(const FileRef& file) {
  if (!HasData(file.path)) return nullptr;
  for (const Format& format : Formats()) {
    if (format.createImport(m_plugin, m_manager)->CanImportFile(file.path)) return &format;
  }
  return nullptr;
}

const Format& Conversion::Identify(const FileRef& file) {
  if (const Format* format = Recognise(file)) return *format;
  Fail(HasData(file.path) ? NoFormatOf() : "the file is empty");
}

qxio::ImportFileInfo Conversion::Describe(const FileRef& file) {
  const Format& format = Identify(file);
  qxio::ImportFileInfo info =
      format.createImport(m_plugin, m_manager)->GetImportFileInfo(0, file.path);
  if (info.m_entries.empty()) {
    // A filter that refuses a header gives its reason only when it imports the file: the
    // import ends at the header.
    Read(file);
    Fail("the " + std::string(format.name) + " filter gives no description of this file");
  }
  return info;
}

Conversion::Imported Conversion::Read(const FileRef& file) {
  const auto filter = Identify(file).createImport(m_plugin, m_manager);
  if (!filter->SupportsType(qxio::TrImage::GetClassTypeId())) {
    Fail("the import filter does not produce images");
  }
  m_manager.SetSubject(file);
  filter->ImportFromFile(file.path);
  std::optional<qxio::TrImage> image = m_manager.TakeImage();
  if (!image) Fail("the import filter handed over no image");
  const std::vector<std::string> warnings = m_manager.TakeWarnings();
  const std::string shown = utl::ToUtf8(file.shown);
  const int rows = image->RowsSet();
  const int height = image->GetHeight();
  // The filter's warning of data ending early says in its words what this line says better.
  if (rows < height) {
    m_manager.Say(shown, "warning: incomplete image: " + std::to_string(rows) + " of " +
                             std::to_string(height) + " rows recovered");
  } else {
    for (const std::string& warning : warnings) m_manager.Say(shown, "warning: " + warning);
  }
  return {std::move(*image), rows == height};
}

void Conversion::CheckWritable() {
  m_options.to->createExport(m_plugin, m_manager);
}

void Conversion::Write(qxio::TrImage& image, const FileRef& file) {
  const Format& format = *m_options.to;
  m_manager.SetSubject(file);
  if (format.prepare) format.prepare(image);
  const auto filter = format.createExport(m_plugin, m_manager);
  if (!filter->SupportsType(qxio::TrImage::GetClassTypeId())) {
    Fail("the export filter does not take images");
  }
  if (m_options.runLength && !filter->SetOptionsFromString(format.runLengthOption)) {
    Fail("the export filter cannot write run-length encoded files");
  }
  filter->BeginExport(file.path);
  qxio::TrInitGraphicsExp init;
  filter->ExportObject(init);
  if (filter->ExportObject(image) != qxio::ExportDone)
    Fail("the export filter did not take the image");
  if (filter->EndExport() != qxio::ExportDone) Fail("the export filter wrote no image");
  for (const std::string& warning : m_manager.TakeWarnings()) {
    m_manager.Say(utl::ToUtf8(file.shown), "warning: " + warning);
  }
}

Conversion::Outcome Conversion::Convert(const FileRef& input, const FileRef& output) {
  // A standard stream's stand-in (named otherwise than its path) is qxhost's own file.
  if (m_options.noClobber && output.path == output.shown && PathExists(output.path)) {
    m_manager.Note(utl::ToUtf8(output.shown), "exists: left alone (--no-clobber)");
    return Outcome::LeftAlone;
  }
  std::optional<Imported> imported;
  if (!Guarded(input, [&] { imported = Read(input); })) return Outcome::Failed;
  if (!Guarded(output, [&] { Write(imported->image, output); })) return Outcome::Failed;
  return imported->complete ? Outcome::Done : Outcome::Incomplete;
}

std::optional<std::string> Conversion::Attempt(const FileRef& file,
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

bool Conversion::Guarded(const FileRef& file, const std::function<void()>& work) {
  const std::optional<std::string> failure = Attempt(file, work);
  if (failure) m_manager.Say(utl::ToUtf8(file.shown), *failure);
  return !failure;
}

}  // namespace qxhost
