// Writes one image as an uncompressed (standard type) Sun raster file.
#pragma once

#include <cstdint>

#include "sunraster.h"
#include "utl/bufferedfile.h"
#include "utl/rgbquad.h"

namespace vemra {

// Statuses of WriteHeader and WriteScanline.
enum WriteStatus : int {
  kWriteOk = 0,
  kWriteFailed = 1,            // a Write of the file failed
  kWriteUnsupportedDepth = 2,  // depth not 1, 8, 24 or 32
  kWriteNoHeader = 3,          // a row before any successful WriteHeader
  kWriteBadArgument = 4,       // no file, no row, or width, height or depth below 1
  kWriteTooLarge = 5,          // row length or image size beyond the format's 32-bit fields
};

// Words for a status, for messages.
const char* WriteStatusText(int status);

// The writer borrows an open file from WriteHeader until Reset and never opens, closes or
// positions it. Rows are taken in memory order (24-bit B,G,R; 32-bit B,G,R,pad) and only read.
class SunRasterWriter {
public:
  SunRasterWriter();

  // For depths 1 and 8, palette holds 2^depth entries; without one a grey ramp is written.
  int WriteHeader(utl::CBufferedFile* file, std::int32_t width, std::int32_t height,
                  std::int32_t depth, const RGBQUAD* palette);
  int WriteScanline(const std::uint8_t* row);
  void Reset();

private:
  // Both pass on whatever Write raises; the public operations turn it into kWriteFailed.
  void WriteColorMap(const RGBQUAD* palette);
  void WriteRowPixels(const std::uint8_t* row);

  utl::CBufferedFile* m_file;
  std::uint32_t m_currentRow;
  std::int32_t m_imageWidth;
  std::int32_t m_imageHeight;
  std::int32_t m_bitsPerPixel;
  std::int32_t m_bytesPerRow;
};

}  // namespace vemra
