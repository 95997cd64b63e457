#include "sunrasterwriter.h"

#include <cstddef>

namespace vemra {

const char* WriteStatusText(int status) {
  switch (status) {
    case kWriteOk:
      return "ok";
    case kWriteFailed:
      return "writing to the file failed";
    case kWriteUnsupportedDepth:
      return "depth is not 1, 8, 24 or 32";
    case kWriteNoHeader:
      return "no image description: a row before any successful header";
    case kWriteBadArgument:
      return "no file or row given, or width, height or depth below 1";
    case kWriteTooLarge:
      return "row length or image size does not fit the format's 32-bit fields";
    default:
      return "unknown write status";
  }
}

SunRasterWriter::SunRasterWriter()
    : m_file(nullptr),
      m_currentRow(0),
      m_imageWidth(0),
      m_imageHeight(0),
      m_bitsPerPixel(0),
      m_bytesPerRow(0) {}

int SunRasterWriter::WriteHeader(utl::CBufferedFile* file, std::int32_t width, std::int32_t height,
                                 std::int32_t depth, const RGBQUAD* palette) {
  if (file == nullptr || width < 1 || height < 1 || depth < 1) return kWriteBadArgument;
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

  const bool hasMap = depth <= 8;
  SunRasterHeader header;
  header.magic = kSunRasterMagic;
  header.width = static_cast<std::uint32_t>(width);
  header.height = static_cast<std::uint32_t>(height);
  header.depth = static_cast<std::uint32_t>(depth);
  header.length = size.imageBytes;
  header.type = kTypeStandard;
  header.maptype = hasMap ? kMapEqualRgb : kMapNone;
  header.maplength = hasMap ? 3u << depth : 0u;

  std::uint8_t bytes[kSunRasterHeaderSize];
  EncodeHeader(header, bytes);

  try {
    m_file->Write(bytes, sizeof bytes);
    if (hasMap) WriteColorMap(palette);
  } catch (...) {
    return kWriteFailed;
  }
  m_currentRow = 0;
  return kWriteOk;
}

int SunRasterWriter::WriteScanline(const std::uint8_t* row) {
  if (row == nullptr) return kWriteBadArgument;
  if (m_file == nullptr || m_imageWidth < 1 || m_imageHeight < 1 || m_bitsPerPixel < 1) {
    return kWriteNoHeader;
  }
  try {
    WriteRowPixels(row);
  } catch (...) {
    return kWriteFailed;
  }
  ++m_currentRow;
  return kWriteOk;
}

void SunRasterWriter::Reset() { m_file = nullptr; }

// Plane by plane, one byte per Write. Without a palette a grey ramp is written, so the
// header never announces a map that the file does not hold.
void SunRasterWriter::WriteColorMap(const RGBQUAD* palette) {
  const int entries = 1 << m_bitsPerPixel;
  RGBQUAD ramp[kMaxPaletteEntries];
  if (palette == nullptr) {
    FillGreyRamp(ramp, entries);
    palette = ramp;
  }
  for (const auto plane : {&RGBQUAD::rgbRed, &RGBQUAD::rgbGreen, &RGBQUAD::rgbBlue}) {
    for (int i = 0; i < entries; ++i) m_file->Write(&(palette[i].*plane), 1);
  }
}

// The pad-first order of 32-bit pixels comes from the order of the Writes, so the caller's
// row is never copied or changed.
void SunRasterWriter::WriteRowPixels(const std::uint8_t* row) {
  // A local: the pixel stores may alias the members, which would be reloaded for every Write.
  utl::CBufferedFile& file = *m_file;
  const std::size_t width = static_cast<std::size_t>(m_imageWidth);
  std::size_t written = 0;
  switch (m_bitsPerPixel) {
    case 1:
      written = (width + 7) / 8;
      file.Write(row, written);
      break;
    case 8:
      written = width;
      file.Write(row, written);
      break;
    case 24:
      for (std::size_t x = 0; x < width; ++x) file.Write(row + 3 * x, 3);
      written = 3 * width;
      break;
    default:  // 32
      for (std::size_t x = 0; x < width; ++x) {
        const std::uint8_t* pixel = row + 4 * x;
        file.Write(pixel + 3, 1);
        file.Write(pixel, 3);
      }
      written = 4 * width;
      break;
  }
  const std::uint8_t zero = 0;
  for (; written < static_cast<std::size_t>(m_bytesPerRow); ++written) file.Write(&zero, 1);
}

}  // namespace vemra
