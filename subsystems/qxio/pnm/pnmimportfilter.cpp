#include "pnmimportfilter.h"

#include "pnmformat.h"
#include "utl/bufferedfile.h"
#include "utl/path.h"
#include "utl/text.h"

namespace pnmio {

namespace {

constexpr qxio::FilterDescriptor kDescriptor = {"$QXIO_FILT$", 100, u"pnm", qxio::FilterKindImport};

}  // namespace

PnmImportFilter::PnmImportFilter(qxio::IoManager& manager) : IoImportFilter(manager) {}

const qxio::FilterDescriptor* PnmImportFilter::GetFilterDescriptor() const {
  return &kDescriptor;
}

bool PnmImportFilter::SupportsType(const utl::CTypeInfo* type) const {
  return type == qxio::TrImage::GetClassTypeId();
}

bool PnmImportFilter::CanImportFile(const std::wstring& path) const {
  return HasMagic(path);
}

void PnmImportFilter::Refuse(const std::wstring& path, const PnmError& error) const {
  const std::wstring reason = utl::FromUtf8(error.what());
  switch (error.Kind()) {
    case utl::ErrorKind::UnknownFormat:
      Throw_ERR_UNKNOWN_FORMAT(QXIO_WFILE, __LINE__, path, reason);
    case utl::ErrorKind::UnexpectedEof:
      Throw_ERR_UNEXPECTED_EOF(QXIO_WFILE, __LINE__, path, reason);
    default: Throw_ERR_FILE_READ(QXIO_WFILE, __LINE__, path, L"Not a valid PNM file.", reason);
  }
}

qxio::ImportFileInfo PnmImportFilter::GetImportFileInfo(int /*detail*/,
                                                        const std::wstring& path) const {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  Header header;
  try {
    header = ReadHeader(file);
  } catch (const PnmError& error) {
    Refuse(path, error);
  }
  qxio::ImportFileInfo info;
  info.m_entries[L"File Format"] = utl::FromUtf8(KindName(header)) + L" Image";
  info.m_entries[L"Image Width"] = header.width;
  info.m_entries[L"Image Height"] = header.height;
  info.m_entries[L"Image Bits Per Pixel"] = utl::BitsPerPixel(HostFormat(header));
  info.m_entries[L"Storage Type"] = std::wstring(header.Plain() ? L"plain" : L"raw");
  info.m_entries[L"Maxval"] = static_cast<int>(header.maxval);
  return info;
}

void PnmImportFilter::ImportFromFile(const std::wstring& path) {
  qxio::CProgress progress(&GetManager());
  progress.MessageVA(L"Reading PNM file %s", utl::CPath(path).GetNameAndExtension().c_str());
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  Header header;
  qxio::TrImage image;
  try {
    header = ReadHeader(file);
    image = ReadImage(header, file, progress);
  } catch (const PnmError& error) {
    Refuse(path, error);
  }
  const std::string notice = PrecisionNotice(header);
  if (!notice.empty()) Warning(utl::IError::WarnStyleDefault, L"%s", utl::FromUtf8(notice).c_str());
  ImportObject(image);
}

}  // namespace pnmio
