#include "pngimportfilter.h"

#include "pngformat.h"
#include "utl/bufferedfile.h"
#include "utl/path.h"
#include "utl/text.h"

namespace pngio {

namespace {

constexpr qxio::FilterDescriptor kDescriptor = {"$QXIO_FILT$", 100, u"png", qxio::FilterKindImport};

}  // namespace

PngImportFilter::PngImportFilter(qxio::IoManager& manager) : IoImportFilter(manager) {}

const qxio::FilterDescriptor* PngImportFilter::GetFilterDescriptor() const {
  return &kDescriptor;
}

bool PngImportFilter::SupportsType(const utl::CTypeInfo* type) const {
  return type == qxio::TrImage::GetClassTypeId();
}

bool PngImportFilter::CanImportFile(const std::wstring& path) const {
  return HasSignature(path);
}

qxio::ImportFileInfo PngImportFilter::GetImportFileInfo(int /*detail*/,
                                                        const std::wstring& path) const {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  Kind kind;
  try {
    kind = ReadKind(file);
  } catch (const PngError& error) {
    Throw_ERR_FILE_READ(QXIO_WFILE, __LINE__, path, L"Not a valid PNG file.",
                        utl::FromUtf8(error.what()));
  }
  qxio::ImportFileInfo info;
  info.m_entries[L"File Format"] = std::wstring(L"PNG Image");
  info.m_entries[L"Image Width"] = static_cast<int>(kind.width);
  info.m_entries[L"Image Height"] = static_cast<int>(kind.height);
  info.m_entries[L"Image Bits Per Pixel"] = utl::BitsPerPixel(HostFormat(kind));
  info.m_entries[L"Bit Depth"] = kind.bitDepth;
  info.m_entries[L"Color Type"] = utl::FromUtf8(ColorTypeText(kind.colorType));
  info.m_entries[L"Interlaced"] = kind.interlaced;
  return info;
}

void PngImportFilter::ImportFromFile(const std::wstring& path) {
  qxio::CProgress progress(&GetManager());
  progress.MessageVA(L"Reading PNG file %s", utl::CPath(path).GetNameAndExtension().c_str());
  std::string notice;  // a conversion that loses precision
  qxio::TrImage image;
  try {
    image = Decode(path, progress, &notice);
  } catch (const PngError& error) {
    Throw_ERR_FILE_READ(QXIO_WFILE, __LINE__, path, L"Not a valid PNG file.",
                        utl::FromUtf8(error.what()));
  }
  // The decoders fill the rows in place, all of them or none.
  for (int y = 0; y < image.GetHeight(); ++y) image.SetScanline(image.Row(y), y);
  progress.Proportion(1.0);
  if (!notice.empty()) {
    Warning(utl::IError::WarnStyleDefault, L"%s", utl::FromUtf8(notice).c_str());
  }
  ImportObject(image);
}

}  // namespace pngio
