#include "sunrasterwriter.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "runlength.h"

namespace vemra {

const char* WriteStatusText(int status) {
  switch (status) {
    case kWriteOk: return "ok";
    case kWriteFailed: return "writing to the file failed";
    case kWriteUnsupportedDepth: return "depth is not 1, 8, 24 or 32";
    case kWriteNoHeader: return "no image description: a row before any successful header";
    case kWriteBadArgument:
      return "no file or row given, width or depth below 1, or height below 0";
    case kWriteTooLarge:
      return "row length, image size or encoded data does not fit the format's 32-bit fields";
    default: return "unknown write status";
  }
}

SunRasterWriter::SunRasterWriter()
    : m_file(nullptr),
      m_imageWidth(0),
      m_imageHeight(0),
      m_bitsPerPixel(0),
      m_bytesPerRow(0),
      m_header{},
      m_encodedBytes(0) {}

int SunRasterWriter::WriteHeader(utl::CBufferedFile* file, std::int32_t width, std::int32_t height,
                                 std::int32_t depth, const RGBQUAD* palette, WriteLayout layout) {
  if (file == nullptr || width < 1 || height < 0 || depth < 1) return kWriteBadArgument;
  if (!IsDepthIn(kSupportedDepthMask, static_cast<std::uint32_t>(depth))) {
    return kWriteUnsupportedDepth;
  }
  const RasterSize size = ComputeRasterSize(width, height, depth);
  if (!size.valid) return kWriteTooLarge;

  m_file = file;
  m_imageWidth = width;
  m_imageHeight = height;
  m_bitsPerPixel = depth;
  m_bytesPerRow = size.bytesPerRow;
  m_encodedBytes = 0;

  const bool hasMap = depth <= 8 && layout.colorMap;
  m_header.magic = kSunRasterMagic;
  m_header.width = static_cast<std::uint32_t>(width);
  m_header.height = static_cast<std::uint32_t>(height);
  m_header.depth = static_cast<std::uint32_t>(depth);
  // Run-length data is counted as it is written (Finish).
  m_header.length = layout.runLength ? 0 : size.imageBytes;
  m_header.type = layout.runLength ? kTypeByteEncoded : kTypeStandard;
  m_header.maptype = hasMap ? kMapEqualRgb : kMapNone;
  m_header.maplength = hasMap ? 3u << depth : 0u;

  std::uint8_t bytes[kSunRasterHeaderSize];
  EncodeHeader(m_header, bytes);

  // Run-length rows, and 32-bit rows whose pad byte moves to the front, are laid out (and
  // encoded) in buffers of their own; failing to allocate them is no failed write, and reaches
  // the caller as such. An image without rows needs none: its width alone may claim hundreds
  // of MiB.
  const bool laidOut = height > 0 && (layout.runLength || depth == 32);
  const auto rowBytes = static_cast<std::size_t>(laidOut ? m_bytesPerRow : 0);
  m_fileRow = std::vector<std::uint8_t>(rowBytes);
  m_encoded = std::vector<std::uint8_t>(layout.runLength ? MaxRunLengthEncodedSize(rowBytes) : 0);

  try {
    m_file->Write(bytes, sizeof bytes);
    if (hasMap) WriteColorMap(palette);
  } catch (...) {
    return kWriteFailed;
  }
  return kWriteOk;
}

int SunRasterWriter::WriteScanline(const std::uint8_t* row) {
  if (row == nullptr) return kWriteBadArgument;
  // A header sets the file with a width and depth of at least 1; an image of no rows takes none.
  if (m_file == nullptr || m_imageHeight < 1) return kWriteNoHeader;
  try {
    if (m_header.type == kTypeByteEncoded) {
      const int status = WriteEncodedRow(row);
      if (status != kWriteOk) return status;
    } else {
      WriteRowPixels(row);
    }
  } catch (...) {
    return kWriteFailed;
  }
  return kWriteOk;
}

int SunRasterWriter::Finish() {
  if (m_file == nullptr) return kWriteNoHeader;
  if (m_header.type != kTypeByteEncoded) return kWriteOk;
  SunRasterHeader header = m_header;
  header.length = static_cast<std::uint32_t>(m_encodedBytes);
  std::uint8_t bytes[kSunRasterHeaderSize];
  EncodeHeader(header, bytes);
  try {
    m_file->Overwrite(0, bytes, sizeof bytes);
  } catch (...) {
    return kWriteFailed;
  }
  return kWriteOk;
}

void SunRasterWriter::Reset() {
  m_file = nullptr;
}

// Plane by plane: reds, greens, blues. Without a palette a grey ramp is written, so the
// header never announces a map that the file does not hold.
void SunRasterWriter::WriteColorMap(const RGBQUAD* palette) {
  const int entries = 1 << m_bitsPerPixel;
  RGBQUAD ramp[kMaxPaletteEntries] = {};
  if (palette == nullptr) {
    FillGreyRamp(ramp, entries);
    palette = ramp;
  }
  std::uint8_t planes[3 * kMaxPaletteEntries];
  std::uint8_t* out = planes;
  for (const auto plane : {&RGBQUAD::rgbRed, &RGBQUAD::rgbGreen, &RGBQUAD::rgbBlue}) {
    for (int i = 0; i < entries; ++i) *out++ = palette[i].*plane;
  }
  m_file->Write(planes, static_cast<std::size_t>(out - planes));
}

// Each row is encoded on its own, so no run crosses into the next row: some readers decode
// row by row and refuse such runs.
int SunRasterWriter::WriteEncodedRow(const std::uint8_t* row) {
  LayOutRow(row);
  const std::size_t n = EncodeRunLength(m_fileRow.data(), m_fileRow.size(), m_encoded.data());
  return PutEncoded(m_encoded.data(), n) ? kWriteOk : kWriteTooLarge;
}

bool SunRasterWriter::PutEncoded(const std::uint8_t* bytes, std::size_t n) {
  if (m_encodedBytes + n > std::numeric_limits<std::uint32_t>::max()) return false;
  m_file->Write(bytes, n);
  m_encodedBytes += n;
  return true;
}

void SunRasterWriter::LayOutRow(const std::uint8_t* row) {
  const std::size_t width = static_cast<std::size_t>(m_imageWidth);
  std::uint8_t* out = m_fileRow.data();
  if (m_bitsPerPixel == 32) {
    // Plain byte moves, which the compiler turns into a few vector shuffles per row.
    for (const std::uint8_t* pixel = row; pixel != row + 4 * width; pixel += 4, out += 4) {
      out[0] = pixel[3];
      out[1] = pixel[0];
      out[2] = pixel[1];
      out[3] = pixel[2];
    }
  } else {
    out = std::copy_n(row, pixcv::PackedRowBytes(width, m_bitsPerPixel), out);
  }
  std::fill(out, m_fileRow.data() + m_fileRow.size(), std::uint8_t{0});
}

// Rows of 1, 8 and 24 bits are in the file's order already and go out as they are, with the
// pad byte that makes their length even; 32-bit rows are laid out pad-first in m_fileRow. The
// caller's row is never changed.
void SunRasterWriter::WriteRowPixels(const std::uint8_t* row) {
  if (m_bitsPerPixel == 32) {
    LayOutRow(row);
    m_file->Write(m_fileRow.data(), m_fileRow.size());
    return;
  }
  const std::size_t width = static_cast<std::size_t>(m_imageWidth);
  const std::size_t bytes = pixcv::PackedRowBytes(width, m_bitsPerPixel);
  m_file->Write(row, bytes);
  const std::uint8_t pad[2] = {};
  m_file->Write(pad, static_cast<std::size_t>(m_bytesPerRow) - bytes);
}

}  // namespace vemra
