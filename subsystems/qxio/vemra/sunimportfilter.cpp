#include "sunimportfilter.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "descriptors.h"
#include "utl/path.h"
#include "utl/text.h"

namespace vemra {

namespace {

struct ImageKind {
  utl::ColorFormat format;
  unsigned tableEntries;  // colour-table entries that belong to the image
};

// The host colour format for a depth; ColorFormatUnknown for a depth the filter cannot carry.
ImageKind ImageKindForDepth(int depth) {
  switch (depth) {
    case 1: return {utl::Indexed1, 2};
    case 4: return {utl::Indexed4, 16};
    case 8: return {utl::Indexed8, 256};
    case 24: return {utl::BGR24, 0};
    case 32: return {utl::BGRA32, 0};
    default: return {utl::ColorFormatUnknown, 0};
  }
}

// The storage type in words, for the file information; the reader accepts no other type.
const wchar_t* StorageTypeName(std::uint32_t type) {
  switch (type) {
    case kTypeOld: return L"old";
    case kTypeStandard: return L"standard";
    case kTypeByteEncoded: return L"run-length";
    default: return L"RGB";
  }
}

// Entries of the file's colour map, those past the 256 that an image keeps included. The
// reader takes a length that is negative as a signed number for no map.
int ColorMapEntries(const SunRasterHeader& header) {
  if (header.maptype != kMapEqualRgb) return 0;
  return std::max(static_cast<std::int32_t>(header.maplength) / 3, 0);
}

// The reason beside an unexpected end: how many rows the file holds, of how many.
std::wstring RowsPresent(std::int64_t rows, std::int64_t height, const wchar_t* bound) {
  return bound + std::to_wstring(rows) + L" of " + std::to_wstring(height) +
         L" rows present (a partial image needs more than half)";
}

}  // namespace

SunImportFilter::SunImportFilter(qxio::IoManager& manager) : qxio::IoImportFilter(manager) {}

SunImportFilter::~SunImportFilter() = default;

const qxio::FilterDescriptor* SunImportFilter::GetFilterDescriptor() const {
  return &kImportDescriptor;
}

bool SunImportFilter::SupportsType(const utl::CTypeInfo* type) const {
  return type == qxio::TrImage::GetClassTypeId();
}

bool SunImportFilter::CanImportFile(const std::wstring& path) const {
  utl::CBufferedFile file;
  if (!file.OpenNoThrow(path, utl::AccessRead, utl::OpenExisting, utl::ShareRead, false)) {
    return false;
  }
  std::uint8_t magic[4];
  if (file.Read(magic, sizeof magic) != sizeof magic) return false;
  ByteOrder order;
  return MagicByteOrder(magic, order);
}

qxio::ImportFileInfo SunImportFilter::GetImportFileInfo(int /*detail*/,
                                                        const std::wstring& path) const {
  qxio::ImportFileInfo info;
  utl::CBufferedFile file;
  if (!file.OpenNoThrow(path, "rb", utl::ShareRead, false)) return info;
  SunRasterReader reader;
  if (reader.ReadHeader(&file) != kReadOk) return info;
  const SunRasterHeader header = reader.Header();
  // Numbers as int, words as std::wstring.
  info.m_entries = {
      {L"File Format", std::wstring(L"Sun Raster Image")},
      {L"Image Width", int{reader.ImageWidth()}},
      {L"Image Height", int{reader.ImageHeight()}},
      {L"Image Bits Per Pixel", int{reader.BitsPerPixel()}},
      {L"Storage Type", std::wstring(StorageTypeName(header.type))},
      {L"Color Map Entries", ColorMapEntries(header)},
  };
  return info;
}

// A file that cannot hold more than half of its rows would end in the unexpected-end error
// after the rows it has; refusing it before the image is allocated keeps a tiny file that
// claims a huge image from costing gigabytes. Run-length data is weighed at its largest
// expansion, so no file that could decode far enough is refused.
void SunImportFilter::RefuseImpossibleSize(const std::wstring& path) {
  const std::int64_t height = m_reader.ImageHeight();
  if (height < 1) return;
  const std::int64_t needed = (height / 2 + 1) * std::int64_t{m_reader.BytesPerRow()};
  const std::int64_t remaining =
      std::clamp<std::int64_t>(m_file.GetLength() - m_file.GetPosition(), 0, std::int64_t{1} << 48);
  const bool encoded = m_reader.Header().type == kTypeByteEncoded;
  const bool impossible =
      encoded ? remaining * kMaxRunDecodedBytes < needed * kMaxRunEncodedBytes : remaining < needed;
  if (!impossible) return;
  const std::int64_t rows =
      (encoded ? remaining * kMaxRunDecodedBytes / kMaxRunEncodedBytes : remaining) /
      m_reader.BytesPerRow();
  Throw_ERR_UNEXPECTED_EOF(QXIO_WFILE, __LINE__, path,
                           RowsPresent(rows, height, encoded ? L"at most " : L""));
}

// Whether a 32-bit file stores its pad byte first or last shows only over the whole image,
// while the reader streams rows: the rare pad-last file is put right in place once all rows are
// in, so that no row is stored, nor counted, twice.
void SunImportFilter::ReorderAsPadLast(qxio::TrImage& image, int rows) const {
  for (int y = 0; y < rows; ++y) m_reader.ToPadLastOrder(image.MutableRow(y));
}

void SunImportFilter::ImportFromFile(const std::wstring& path) {
  m_file.Open(path, "rb", utl::ShareRead, false);
  try {
    ImportOpenFile(path);
  } catch (...) {
    // A file refused or cut short is closed too: left open, it would keep other programs (on
    // Windows) from replacing or removing it for as long as the host keeps this filter.
    m_file.CloseNoThrow(false);
    throw;
  }
}

void SunImportFilter::ImportOpenFile(const std::wstring& path) {
  // The host's fixed errors, each with the reader's words for what is wrong with the file.
  switch (m_reader.ReadHeader(&m_file)) {
    case kReadOk: break;
    case kReadShort:
      Throw_ERR_FILE_READ(QXIO_WFILE, __LINE__, path, L"Not a valid Sun Raster file.",
                          utl::FromUtf8(m_reader.Refusal()));
    case kReadUnsupported:
    case kReadBadMagic:
      Throw_ERR_UNKNOWN_FORMAT(QXIO_WFILE, __LINE__, path, utl::FromUtf8(m_reader.Refusal()));
    default: Throw_ERR_INTERNAL(QXIO_WFILE, __LINE__);
  }
  RefuseImpossibleSize(path);

  qxio::CProgress progress(&GetManager());
  progress.MessageVA(L"Importing SUN file %s", utl::CPath(path).GetNameAndExtension().c_str());

  const int width = m_reader.ImageWidth();
  const int height = m_reader.ImageHeight();
  const ImageKind kind = ImageKindForDepth(m_reader.BitsPerPixel());
  if (kind.format == utl::ColorFormatUnknown) {
    Throw_ERR_NOT_IMPLEMENTED(QXIO_WFILE, __LINE__, L"SUN",
                              L"color formats other than 1, 4, 8, 24, or 32 bits per pixel", path);
  }

  qxio::TrImage image;
  image.SetScanlineStart(width, height, kind.format, 0, 0, m_reader.Palette(),
                         qxio::RowAccessByIndex, kind.tableEntries, progress.IProgressPtr());
  // The reader's row, padding included, holds the image's row too. An image without rows needs
  // no row buffer; its width alone may claim hundreds of MiB.
  const auto rowBytes = static_cast<std::size_t>(height > 0 ? m_reader.BytesPerRow() : 0);
  std::vector<std::uint8_t> row(rowBytes);

  int rowsRead = 0;
  while (rowsRead < height && m_reader.ReadScanline(row.data()) == kReadOk) {
    image.SetScanline(row.data(), rowsRead);
    progress.Proportion(static_cast<double>(rowsRead) / height);
    ++rowsRead;
  }
  if (rowsRead < height) {
    if (rowsRead <= height / 2) {
      Throw_ERR_UNEXPECTED_EOF(QXIO_WFILE, __LINE__, path, RowsPresent(rowsRead, height, L""));
    }
    Warning(utl::IError::WarnStyleDefault,
            L"%s:  Premature end of scanline data.  Import may finish but image will be "
            L"incomplete.",
            path.c_str());
  }

  if (m_reader.PixelsLookPadLast()) ReorderAsPadLast(image, rowsRead);

  progress.Proportion(1.0);
  image.SetScanlineEnd(nullptr, 0);
  m_file.Close();
  ImportObject(image);
}

}  // namespace vemra
