// convert: one file into another.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "commands.h"
#include "failure.h"
#include "paths.h"
#include "pixcv/pixels.h"
#include "pluginloader.h"
#include "pngio.h"
#include "spool.h"
#include "utl/text.h"

namespace qxhost {

namespace {

std::string Utf8(const std::wstring& text) {
  return utl::ToUtf8(text);
}

// The two entries of a 1-bit image's map as the plug-in writes them: missing ones are black.
bool IsBlackAndWhite(const qxio::TrImage& image) {
  RGBQUAD map[2] = {};
  image.GetColorTable(map, 0, static_cast<int>(std::min(image.GetNumColorTableEntriesUsed(), 2u)));
  return (pixcv::IsGreyLevel(map[0], 0) && pixcv::IsGreyLevel(map[1], 255)) ||
         (pixcv::IsGreyLevel(map[0], 255) && pixcv::IsGreyLevel(map[1], 0));
}

// A two-colour image other than black and white goes out at 8 bits with its map: many readers
// swap the two colours of a 1-bit file's map or refuse it, while all of them read 8-bit maps.
void WidenTwoColours(qxio::TrImage& image) {
  if (image.GetColorFormat() != utl::Indexed1 || IsBlackAndWhite(image)) return;
  RGBQUAD table[2] = {};
  const unsigned entries = std::min(image.GetNumColorTableEntriesUsed(), 2u);
  image.GetColorTable(table, 0, static_cast<int>(entries));
  qxio::TrImage wide;
  wide.SetScanlineStart(image.GetWidth(), image.GetHeight(), utl::Indexed8, 0, 0, table,
                        qxio::RowAccessByIndex, entries, nullptr);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(image.GetWidth()));
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (std::size_t x = 0; x < row.size(); ++x) {
      row[x] = static_cast<std::uint8_t>(pixcv::PackedSample(image.Row(y), x, 1));
    }
    wide.SetScanline(row.data(), y);
  }
  wide.SetScanlineEnd(nullptr, 0);
  image = std::move(wide);
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
    WidenTwoColours(image);
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
  const bool toStandardOutput = target == kStandardStream;
  // A run-length file's header is completed after its last row, which a pipe or a device that
  // has taken the first bytes cannot take back: such a file goes through a copy of qxhost's own,
  // as for standard output. --no-clobber leaves the device alone before anything is read.
  const bool runLength = m_options.runLength && m_options.to == FileKind::SunRaster;
  if (!toStandardOutput && (!runLength || m_options.noClobber || !IsDevice(target))) {
    const Outcome outcome = Convert(input, {target, target});
    return outcome == Outcome::Done || outcome == Outcome::LeftAlone ? 0 : 1;
  }
  std::unique_ptr<TempFile> spool;
  FileRef output{L"", toStandardOutput ? std::wstring(L"standard output") : target};
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
  // The device's own errors name it as they would had it been written in place.
  const FileRef copy = toStandardOutput ? output : FileRef{target, target};
  if (!Guarded(copy, [&] {
        if (toStandardOutput) {
          CopyToStandardOutput(output.path);
        } else {
          CopyToDevice(output.path, target);
        }
      })) {
    std::clearerr(stdout);  // said already
    return 1;
  }
  return outcome == Outcome::Done ? 0 : 1;
}

}  // namespace qxhost
