// Transport objects: what filters and the host hand each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "utl/api.h"
#include "utl/colorformat.h"
#include "utl/rgbquad.h"
#include "utl/typeinfo.h"

namespace qxio {

class IProgress;

class QXIO_API TrBase {
public:
  virtual ~TrBase();
  virtual const utl::CTypeInfo* GetTypeId() const = 0;
};

// Asks an export filter to describe how it wants the document's graphics.
class QXIO_API TrInitGraphicsExp : public TrBase {
public:
  static const utl::CTypeInfo* GetClassTypeId();
  const utl::CTypeInfo* GetTypeId() const override;

  bool m_filterFlag = false;
  std::int32_t m_filterParams[2] = {0, 0};
};

enum RowAccessOrder : int { RowAccessByIndex = 0 };

// An image held in memory: rows of the colour format's packed pixels (no padding beyond the
// last whole byte) and a colour table of up to 256 entries. Rows never set read as zeros.
class QXIO_API TrImage : public TrBase {
public:
  TrImage();
  ~TrImage() override;
  TrImage(const TrImage&) = delete;
  TrImage& operator=(const TrImage&) = delete;
  // A host that receives an image it wants to keep moves it out.
  TrImage(TrImage&& other) noexcept;
  TrImage& operator=(TrImage&& other) noexcept;

  static const utl::CTypeInfo* GetClassTypeId();
  const utl::CTypeInfo* GetTypeId() const override;

  // Describes the image and allocates its rows, all zero. Raises the host's error for a
  // negative size, an unknown format, or more pixels than the progress's manager allows.
  // The table's first tableSize entries (at most 256) are copied.
  void SetScanlineStart(int width, int height, utl::ColorFormat format, int reserved1,
                        int reserved2, const RGBQUAD* table, RowAccessOrder order,
                        unsigned tableSize, IProgress* progress);
  // Copies one row of RowBytes() bytes into row index (0 is the first row). A filter that filled
  // the row in place (MutableRow) hands it over as it is, without a copy.
  void SetScanline(const void* row, int index);
  // How many rows SetScanline has copied in since SetScanlineStart. Import filters hand rows
  // over once each, first row first, so an import that ended early has set rows 0 to
  // RowsSet() - 1.
  int RowsSet() const { return m_rowsSet; }
  // Ends filling; a non-null table replaces the colour table.
  void SetScanlineEnd(const RGBQUAD* table, unsigned tableSize);

  utl::ColorFormat GetColorFormat() const { return m_format; }
  unsigned GetNumColorTableEntriesUsed() const { return m_tableSize; }
  // Copies entries first .. first + count - 1; entries past the table read as black.
  void GetColorTable(RGBQUAD* out, int first, int count) const;
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }
  void GetScanlineStart() const {}
  // Copies row (0 is the first row) as RowBytes() bytes.
  void GetScanline(void* out, int row) const;
  void GetScanlineEnd() const {}

  // Host-side access: bytes per row and the rows themselves (null outside the image), for
  // hosts that read or fill an image in place rather than row by row through copies.
  std::size_t RowBytes() const { return m_rowBytes; }
  const std::uint8_t* Row(int row) const;
  std::uint8_t* MutableRow(int row) {
    return const_cast<std::uint8_t*>(std::as_const(*this).Row(row));
  }

private:
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const;
  };

  int m_width = 0;
  int m_height = 0;
  utl::ColorFormat m_format = utl::ColorFormatUnknown;
  std::size_t m_rowBytes = 0;
  std::unique_ptr<std::uint8_t[], FreeDeleter> m_pixels;
  RGBQUAD m_table[256] = {};
  unsigned m_tableSize = 0;
  int m_rowsSet = 0;
};

}  // namespace qxio
