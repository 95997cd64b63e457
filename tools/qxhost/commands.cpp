#include "commands.h"

#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include <boost/any.hpp>

#include "failure.h"
#include "hostmanager.h"
#include "options.h"
#include "pluginloader.h"
#include "pngio.h"
#include "utl/colorformat.h"
#include "utl/error.h"
#include "utl/text.h"

namespace qxhost {

namespace {

std::string Utf8(const std::wstring& text) { return utl::ToUtf8(text); }

std::string ValueText(const boost::any& value) {
  if (const auto* text = boost::any_cast<std::wstring>(&value)) return Utf8(*text);
  if (const auto* number = boost::any_cast<int>(&value)) return std::to_string(*number);
  return "(a value of an unknown type)";
}

}  // namespace

Commands::Commands(const Plugin& plugin, HostManager& manager)
    : m_plugin(plugin), m_manager(manager) {}

template <class Work>
bool Commands::Guarded(const std::wstring& file, Work&& work) {
  std::string message;
  try {
    work();
    return true;
  } catch (const utl::IError& error) {
    message = Utf8(error.Sentence());
  } catch (const std::bad_alloc&) {
    message = "out of memory";
  } catch (const std::exception& error) {
    message = error.what();
  } catch (...) {
    message = "unexpected failure";
  }
  m_manager.ClearProgress();
  PrintError(Utf8(file), message);
  return false;
}

qxio::TrImage Commands::Import(const std::wstring& path) {
  const auto filter = m_plugin.CreateImportFilter(m_manager);
  if (!filter->SupportsType(qxio::TrImage::GetClassTypeId())) {
    throw Failure("the plug-in's import filter does not produce images");
  }
  m_manager.TakeImage();
  filter->ImportFromFile(path);
  std::optional<qxio::TrImage> image = m_manager.TakeImage();
  if (!image) throw Failure("the import filter handed over no image");
  return std::move(*image);
}

void Commands::Export(qxio::TrImage& image, const std::wstring& path) {
  const auto filter = m_plugin.CreateExportFilter(m_manager);
  if (!filter->SupportsType(qxio::TrImage::GetClassTypeId())) {
    throw Failure("the plug-in's export filter does not take images");
  }
  filter->BeginExport(path);
  qxio::TrInitGraphicsExp init;
  filter->ExportObject(init);
  if (filter->ExportObject(image) != qxio::ExportDone) {
    throw Failure("the export filter did not take the image");
  }
  if (filter->EndExport() != qxio::ExportDone) throw Failure("the export filter wrote no image");
}

int Commands::Probe(const std::vector<std::wstring>& files) {
  int status = 0;
  for (const std::wstring& file : files) {
    bool recognised = false;
    const bool ran = Guarded(
        file, [&] { recognised = m_plugin.CreateImportFilter(m_manager)->CanImportFile(file); });
    if (ran) {
      std::printf("%s: %s\n", Utf8(file).c_str(), recognised ? "Sun raster" : "not recognised");
    }
    if (!recognised) status = 1;
  }
  return status;
}

int Commands::Info(const std::vector<std::wstring>& files) {
  int status = 0;
  const bool several = files.size() > 1;
  for (const std::wstring& file : files) {
    qxio::ImportFileInfo info;
    if (!Guarded(file, [&] {
          info = m_plugin.CreateImportFilter(m_manager)->GetImportFileInfo(0, file);
        })) {
      status = 1;
      continue;
    }
    if (info.m_entries.empty()) {
      PrintError(Utf8(file), "not a readable Sun raster file");
      status = 1;
      continue;
    }
    if (several) std::printf("%s:\n", Utf8(file).c_str());
    for (const auto& [key, value] : info.m_entries) {
      std::printf("%s%s: %s\n", several ? "  " : "", Utf8(key).c_str(), ValueText(value).c_str());
    }
  }
  return status;
}

// A file that imports with a warning (data ending early) counts as failed: the image is
// incomplete, which is what a check is for.
int Commands::Check(const std::vector<std::wstring>& files) {
  int status = 0;
  for (const std::wstring& file : files) {
    const int warningsBefore = m_manager.Warnings();
    std::optional<qxio::TrImage> image;
    if (!Guarded(file, [&] { image = Import(file); })) {
      status = 1;
      continue;
    }
    const bool warned = m_manager.Warnings() != warningsBefore;
    if (warned) status = 1;
    std::printf("%s: %s, %d x %d, %d bits\n", Utf8(file).c_str(), warned ? "incomplete" : "ok",
                image->GetWidth(), image->GetHeight(), utl::BitsPerPixel(image->GetColorFormat()));
  }
  return status;
}

int Commands::Convert(const std::wstring& input, const std::wstring& output) {
  const FileKind outputKind = KindByExtension(output);
  // Refuse what cannot be written before spending time on the input.
  const bool writable = Guarded(output, [&] {
    if (outputKind == FileKind::Png && !PngSupported()) {
      throw Failure("PNG support is not built into this qxhost");
    }
    if (outputKind == FileKind::SunRaster && !m_plugin.CanExport()) {
      throw Failure("this plug-in cannot write Sun raster files: it has no ExportSUN");
    }
  });
  if (!writable) return 1;

  std::optional<qxio::TrImage> image;
  std::string notice;
  if (!Guarded(input, [&] {
        image = HasPngSignature(input) ? ReadPng(input, m_manager, &notice) : Import(input);
      })) {
    return 1;
  }
  if (!notice.empty()) {
    m_manager.ClearProgress();
    PrintWarning(Utf8(input), notice);
  }
  const bool written = Guarded(output, [&] {
    if (outputKind == FileKind::Png) {
      WritePng(*image, output, m_manager);
    } else {
      Export(*image, output);
    }
  });
  return written ? 0 : 1;
}

}  // namespace qxhost
