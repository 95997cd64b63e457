// Writes one image as a Sun raster file: uncompressed (the standard type) or run-length
// encoded.
#pragma once

#include <cstdint>
#include <vector>

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
  kWriteBadArgument = 4,       // no file, no row, width or depth below 1, or height below 0
  kWriteTooLarge = 5,          // row length, image size or encoded data beyond the 32-bit fields
};

// Words for a status, for messages.
const char* WriteStatusText(int status);

// How the file stores the image.
struct WriteLayout {
  // The byte-encoded type (run-length encoded rows) instead of the standard one.
  bool runLength = false;
  // At depths 1 and 8: a colour map. Without one, readers show 1-bit pixels of value 1 black
  // and 0 white, and 8-bit pixels as grey levels.
  bool colorMap = true;
};

// The writer borrows an open file from WriteHeader until Reset and never opens, closes or
// positions it. Rows are taken in memory order (24-bit B,G,R; 32-bit B,G,R,pad) and only read.
class SunRasterWriter {
public:
  SunRasterWriter();

  // For depths 1 and 8 with a colour map, palette holds 2^depth entries; without one a grey
  // ramp is written. An image of 0 rows is a header (and map) alone.
  int WriteHeader(utl::CBufferedFile* file, std::int32_t width, std::int32_t height,
                  std::int32_t depth, const RGBQUAD* palette, WriteLayout layout = {});
  int WriteScanline(const std::uint8_t* row);
  // Completes the file once every row is written. A run-length header's length field counts
  // the encoded bytes, known only now: it is put over the one WriteHeader wrote, which a pipe
  // or a device takes back only while the header is still in the file's buffer.
  int Finish();
  void Reset();

private:
  // These pass on whatever Write raises; the public operations turn it into kWriteFailed.
  void WriteColorMap(const RGBQUAD* palette);
  void WriteRowPixels(const std::uint8_t* row);
  int WriteEncodedRow(const std::uint8_t* row);
  // False when the encoded data would outgrow the length field.
  bool PutEncoded(const std::uint8_t* bytes, std::size_t n);
  // The row as the file lays it out, padding included, into m_fileRow.
  void LayOutRow(const std::uint8_t* row);

  utl::CBufferedFile* m_file;
  std::int32_t m_imageWidth;
  std::int32_t m_imageHeight;
  std::int32_t m_bitsPerPixel;
  std::int32_t m_bytesPerRow;
  SunRasterHeader m_header;
  std::uint64_t m_encodedBytes;  // run-length data written so far
  std::vector<std::uint8_t>
      m_fileRow;  // run-length and 32-bit files: a row as the file lays it out
  std::vector<std::uint8_t> m_encoded;  // run-length files: that row encoded
};

}  // namespace vemra
