// Reads a Sun raster file into an image description, a palette and rows in memory order.
#pragma once

#include <cstdint>

#include "sunraster.h"
#include "utl/bufferedfile.h"
#include "utl/rgbquad.h"

namespace vemra {

// Statuses of ReadHeader and ReadScanline.
enum ReadStatus : int {
  kReadOk = 0,
  kReadShort = 1,        // no file, not at its first byte, or the data ends early
  kReadUnsupported = 2,  // depth, type, map type or size the reader cannot handle
  kReadBadMagic = 3,     // not a Sun raster file
};

// The reader borrows an open file from ReadHeader until Reset and never opens, closes or
// positions it. Memory order: 24-bit pixels B,G,R; 32-bit pixels B,G,R,pad; 1-, 4- and
// 8-bit rows as in the file.
class SunRasterReader {
public:
  SunRasterReader();

  // file must stand at its first byte. On success the public fields below describe the image.
  int ReadHeader(utl::CBufferedFile* file);
  // Fills row with the next row: m_bytesPerRow bytes, padding included.
  int ReadScanline(std::uint8_t* row);
  // Forgets the file; does not close it.
  void Reset();

  std::int32_t BytesPerRow() const { return m_bytesPerRow; }
  const SunRasterHeader& Header() const { return m_header; }

private:
  static int ReadColorMap(utl::CBufferedFile& file, std::uint32_t maplength, RGBQUAD* palette);
  static void BuildGreyPalette(std::uint32_t depth, RGBQUAD* palette);
  int ReadRawRow(std::uint8_t* row);
  int DecodeRow(std::uint8_t* row);
  void ToMemoryOrder(std::uint8_t* row) const;

  utl::CBufferedFile* m_file;
  std::int32_t m_bytesPerRow;
  std::uint32_t m_currentRow;
  std::int32_t m_runCount;   // copies of a run still owed to the next row
  std::uint8_t m_runValue;
  SunRasterHeader m_header;

public:
  // Valid after a successful ReadHeader; callers read them directly.
  std::int32_t m_imageWidth;
  std::int32_t m_imageHeight;
  std::int32_t m_bitsPerPixel;
  RGBQUAD m_palette[kMaxPaletteEntries];
};

}  // namespace vemra
