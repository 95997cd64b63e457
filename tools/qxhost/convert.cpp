// convert: one file into another.
#include <cstdio>
#include <utility>

#include "commands.h"
#include "failure.h"
#include "paths.h"
#include "pluginloader.h"
#include "pngio.h"
#include "spool.h"
#include "utl/text.h"

namespace qxhost {

namespace {

std::string Utf8(const std::wstring& text) {
  return utl::ToUtf8(text);
}

}  // namespace

void CheckWritable(FileKind kind, const Plugin& plugin) {
  if (kind == FileKind::Png && !PngSupported()) {
    throw Failure("PNG support is not built into this qxhost");
  }
  if (kind == FileKind::SunRaster && !plugin.CanExport()) {
    throw Failure("this plug-in cannot write Sun raster files: it has no ExportSUN");
  }
}

void Commands::Write(qxio::TrImage& image, const FileRef& file) {
  m_manager.SetSubject(file);
  if (m_options.to == FileKind::Png) {
    WritePng(image, file.path, m_manager);
  } else {
    Export(image, file.path);
  }
  for (const std::string& warning : m_manager.TakeWarnings()) {
    m_manager.Say(Utf8(file.shown), "warning: " + warning);
  }
}

void Commands::Export(qxio::TrImage& image, const std::wstring& path) {
  const auto filter = m_plugin.CreateExportFilter(m_manager);
  if (!filter->SupportsType(qxio::TrImage::GetClassTypeId())) {
    throw Failure("the plug-in's export filter does not take images");
  }
  if (m_options.runLength && !filter->SetOptionsFromString(L"Compression=RLE")) {
    throw Failure("the plug-in's export filter cannot write run-length encoded files");
  }
  filter->BeginExport(path);
  qxio::TrInitGraphicsExp init;
  filter->ExportObject(init);
  if (filter->ExportObject(image) != qxio::ExportDone) {
    throw Failure("the export filter did not take the image");
  }
  if (filter->EndExport() != qxio::ExportDone) throw Failure("the export filter wrote no image");
}

// An incomplete image is written all the same: the rows that arrived are worth keeping.
Commands::Outcome Commands::Convert(const FileRef& input, const FileRef& output) {
  // A standard stream's stand-in (named otherwise than its path) is qxhost's own file.
  if (m_options.noClobber && output.path == output.shown && PathExists(output.path)) {
    m_manager.Note(Utf8(output.shown), "exists: left alone (--no-clobber)");
    return Outcome::LeftAlone;
  }
  std::optional<Imported> imported;
  if (!Guarded(input, [&] { imported = Read(input); })) return Outcome::Failed;
  if (!Guarded(output, [&] { Write(imported->image, output); })) return Outcome::Failed;
  return imported->complete ? Outcome::Done : Outcome::Incomplete;
}

int Commands::ConvertPair() {
  const std::wstring& target = m_options.files[1];
  // Refuse what cannot be written before spending time on the input.
  if (!Guarded({target, target}, [&] { CheckWritable(m_options.to, m_plugin); })) return 1;
  const FileRef input = Input(m_options.files[0]);
  if (target != kStandardStream) {
    const Outcome outcome = Convert(input, {target, target});
    return outcome == Outcome::Done || outcome == Outcome::LeftAlone ? 0 : 1;
  }
  std::unique_ptr<TempFile> spool;
  FileRef output{L"", L"standard output"};
  if (!Guarded(output, [&] {
        spool = std::make_unique<TempFile>();
        spool->File().Close();  // the output is written in its place
      })) {
    return 1;
  }
  output.path = spool->Path();
  const Outcome outcome = Convert(input, output);
  if (outcome == Outcome::Failed) return 1;
  // Nothing of ours stays in the temporary folder should the reader of standard output stop
  // early, which ends qxhost by a signal.
  m_input.reset();
  if (!Guarded(output, [&] { CopyToStandardOutput(output.path); })) {
    std::clearerr(stdout);  // said already
    return 1;
  }
  return outcome == Outcome::Done ? 0 : 1;
}

}  // namespace qxhost
