// Reads a Sun raster file into an image description, a palette and rows in memory order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

  // file must stand at its first byte. On success the accessors below describe the image.
  int ReadHeader(utl::CBufferedFile* file);
  // Fills row with the next row: BytesPerRow() bytes, padding included.
  int ReadScanline(std::uint8_t* row);
  // Forgets the file; does not close it.
  void Reset();
  // Why the last ReadHeader refused its file, in words for messages ("unsupported depth 7");
  // empty after a header it accepted.
  const std::string& Refusal() const { return m_refusal; }

  // Whether the 32-bit rows delivered since ReadHeader hold their pad byte last (B,G,R,pad, or
  // R,G,B,pad in the RGB type) rather than first, as the format lays them out: true when the
  // last byte of every pixel is 0, the first byte is not the same everywhere, and it is 0 or
  // 255 in fewer than half of the pixels. The reader delivers every row pad-first; a caller
  // that gets true re-orders the rows with ToPadLastOrder.
  bool PixelsLookPadLast() const;
  // Re-orders a 32-bit row that ReadScanline delivered into the memory order of a pad-last
  // file.
  void ToPadLastOrder(std::uint8_t* row) const;

  // Valid after a successful ReadHeader. The palette holds 256 entries: the colour map, or a
  // grey ramp for files without one.
  std::int32_t ImageWidth() const { return m_imageWidth; }
  std::int32_t ImageHeight() const { return m_imageHeight; }
  std::int32_t BitsPerPixel() const { return m_bitsPerPixel; }
  const RGBQUAD* Palette() const { return m_palette; }
  std::int32_t BytesPerRow() const { return m_bytesPerRow; }
  const SunRasterHeader& Header() const { return m_header; }

private:
  static int ReadColorMap(utl::CBufferedFile& file, std::uint32_t maplength, RGBQUAD* palette);
  static int SkipRawMap(utl::CBufferedFile& file, std::uint32_t maplength);
  static void BuildGreyPalette(std::uint32_t depth, RGBQUAD* palette);
  int ReadRawRow(std::uint8_t* row);
  int DecodeRow(std::uint8_t* row);
  std::uint8_t* DecodeWindow(std::uint8_t* out, std::uint8_t* end);
  static const std::uint8_t* CopyLiterals(const std::uint8_t* in, const std::uint8_t* last,
                                          std::uint8_t*& out, std::uint8_t* end);
  std::uint8_t* PutRun(std::uint8_t* out, std::uint8_t* end, std::uint8_t value,
                       std::int32_t copies);
  bool RefillWindow();
  void SizeWindow();
  void ToMemoryOrder(std::uint8_t* row) const;
  void WeighPadLast(const std::uint8_t* row);
  int Refuse(int status, std::string words);

  // What the rows delivered so far tell of a 32-bit file's layout.
  struct PadLastEvidence {
    bool possible = true;  // every last byte so far was 0
    bool firstVaries = false;
    std::uint8_t firstValue = 0;  // the first byte of the first pixel
    std::uint64_t extremes = 0;   // pixels whose first byte is 0 or 255
    std::uint64_t pixels = 0;
  };

  utl::CBufferedFile* m_file;
  std::int32_t m_bytesPerRow;
  std::int32_t m_runCount;  // copies of a run still owed to the next row
  std::uint8_t m_runValue;
  // Run-length files: encoded bytes read ahead in large Read calls. m_windowPos is the next
  // byte to decode, m_windowEnd the end of what was read.
  std::unique_ptr<std::uint8_t[]> m_window;
  std::size_t m_windowCapacity;
  std::size_t m_windowPos;
  std::size_t m_windowEnd;
  SunRasterHeader m_header;
  PadLastEvidence m_padLast;
  std::string m_refusal;
  std::int32_t m_imageWidth;
  std::int32_t m_imageHeight;
  std::int32_t m_bitsPerPixel;
  RGBQUAD m_palette[kMaxPaletteEntries];
};

}  // namespace vemra
