#include "qxio/transport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "pixcv/pixels.h"
#include "qxio/manager.h"
#include "utl/error.h"
#include "utl/memory.h"
#include "utl/text.h"

namespace qxio {

namespace {

const utl::CTypeInfo kTrImageType;
const utl::CTypeInfo kTrInitGraphicsExpType;

[[noreturn]] void RaiseImageError(utl::ErrorKind kind, const std::wstring& message) {
  throw utl::CError(kind, QXIO_WFILE, __LINE__, std::wstring(), message);
}

}  // namespace

TrBase::~TrBase() = default;

const utl::CTypeInfo* TrInitGraphicsExp::GetClassTypeId() {
  return &kTrInitGraphicsExpType;
}
const utl::CTypeInfo* TrInitGraphicsExp::GetTypeId() const {
  return GetClassTypeId();
}

void TrImage::FreeDeleter::operator()(std::uint8_t* p) const {
  std::free(p);
}

TrImage::TrImage() = default;
TrImage::~TrImage() = default;

TrImage::TrImage(TrImage&& other) noexcept {
  *this = std::move(other);
}

TrImage& TrImage::operator=(TrImage&& other) noexcept {
  if (this == &other) return *this;
  m_width = other.m_width;
  m_height = other.m_height;
  m_format = other.m_format;
  m_rowBytes = other.m_rowBytes;
  m_pixels = std::move(other.m_pixels);
  std::memcpy(m_table, other.m_table, sizeof m_table);
  m_tableSize = other.m_tableSize;
  m_rowsSet = other.m_rowsSet;
  other.m_width = other.m_height = 0;
  other.m_format = utl::ColorFormatUnknown;
  other.m_rowBytes = 0;
  other.m_tableSize = 0;
  other.m_rowsSet = 0;
  return *this;
}

const utl::CTypeInfo* TrImage::GetClassTypeId() {
  return &kTrImageType;
}
const utl::CTypeInfo* TrImage::GetTypeId() const {
  return GetClassTypeId();
}

void TrImage::SetScanlineStart(int width, int height, utl::ColorFormat format, int /*reserved1*/,
                               int /*reserved2*/, const RGBQUAD* table, RowAccessOrder /*order*/,
                               unsigned tableSize, IProgress* progress) {
  const int bits = utl::BitsPerPixel(format);
  if (bits == 0) {
    RaiseImageError(utl::ErrorKind::General,
                    L"Unknown colour format " + std::to_wstring(static_cast<int>(format)) + L".");
  }
  if (width < 0 || height < 0) {
    RaiseImageError(utl::ErrorKind::General, L"Invalid image size " + std::to_wstring(width) +
                                                 L" x " + std::to_wstring(height) + L".");
  }
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
  const std::uint64_t limit = progress ? progress->MaxPixels() : IoManager::kDefaultMaxPixels;
  if (limit != 0 && pixels > limit) {
    RaiseImageError(utl::ErrorKind::ImageTooLarge,
                    L"The image of " + std::to_wstring(width) + L" x " + std::to_wstring(height) +
                        L" pixels exceeds the limit of " + std::to_wstring(limit) + L" pixels.");
  }
  const std::uint64_t rowBytes = pixcv::PackedRowBytes(std::uint64_t(width), bits);
  const std::uint64_t total = rowBytes * std::uint64_t(height);
  if (total > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();

  // calloc: large images get zero pages from the system without touching them first.
  std::unique_ptr<std::uint8_t[], FreeDeleter> pixels_(
      static_cast<std::uint8_t*>(std::calloc(total ? static_cast<std::size_t>(total) : 1, 1)));
  if (!pixels_) throw std::bad_alloc();
  utl::AdviseHugePages(pixels_.get(), static_cast<std::size_t>(total));

  m_pixels = std::move(pixels_);
  m_width = width;
  m_height = height;
  m_format = format;
  m_rowBytes = static_cast<std::size_t>(rowBytes);
  m_rowsSet = 0;
  std::memset(m_table, 0, sizeof m_table);
  m_tableSize = std::min(tableSize, 256u);
  if (table && m_tableSize) std::memcpy(m_table, table, m_tableSize * sizeof(RGBQUAD));
}

void TrImage::SetScanline(const void* row, int index) {
  if (index < 0 || index >= m_height || row == nullptr) {
    RaiseImageError(utl::ErrorKind::General,
                    L"Row " + std::to_wstring(index) + L" is outside the image.");
  }
  std::uint8_t* const target = m_pixels.get() + m_rowBytes * static_cast<std::size_t>(index);
  if (row != target) std::memcpy(target, row, m_rowBytes);
  ++m_rowsSet;
}

void TrImage::SetScanlineEnd(const RGBQUAD* table, unsigned tableSize) {
  if (table == nullptr) return;
  m_tableSize = std::min(tableSize, 256u);
  std::memset(m_table, 0, sizeof m_table);
  std::memcpy(m_table, table, m_tableSize * sizeof(RGBQUAD));
}

void TrImage::GetColorTable(RGBQUAD* out, int first, int count) const {
  for (int i = 0; i < count; ++i) {
    const long long entry = static_cast<long long>(first) + i;  // first may be near INT_MAX
    out[i] = entry >= 0 && entry < 256 ? m_table[entry] : RGBQUAD{0, 0, 0, 0};
  }
}

void TrImage::GetScanline(void* out, int row) const {
  const std::uint8_t* source = Row(row);
  if (source == nullptr || out == nullptr) {
    RaiseImageError(utl::ErrorKind::General,
                    L"Row " + std::to_wstring(row) + L" is outside the image.");
  }
  std::memcpy(out, source, m_rowBytes);
}

const std::uint8_t* TrImage::Row(int row) const {
  if (!m_pixels || row < 0 || row >= m_height) return nullptr;
  return m_pixels.get() + m_rowBytes * static_cast<std::size_t>(row);
}

}  // namespace qxio
