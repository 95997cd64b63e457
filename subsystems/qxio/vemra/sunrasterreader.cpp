#include "sunrasterreader.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace vemra {

namespace {

bool ReadByte(utl::CBufferedFile& file, std::uint8_t& byte) { return file.Read(&byte, 1) == 1; }

// Consumes count bytes; false when the file ends first.
bool Skip(utl::CBufferedFile& file, std::int64_t count) {
  std::uint8_t scratch[kMaxPaletteEntries];
  while (count > 0) {
    const auto chunk =
        static_cast<std::size_t>(std::min<std::int64_t>(count, sizeof scratch));
    if (file.Read(scratch, chunk) != chunk) return false;
    count -= static_cast<std::int64_t>(chunk);
  }
  return true;
}

}  // namespace

SunRasterReader::SunRasterReader()
    : m_file(nullptr),
      m_bytesPerRow(0),
      m_currentRow(0),
      m_runCount(0),
      m_runValue(0),
      m_header{},
      m_imageWidth(0),
      m_imageHeight(0),
      m_bitsPerPixel(0),
      m_palette{} {}

// Works on locals and commits only on success, so a refused file leaves the reader as it was.
int SunRasterReader::ReadHeader(utl::CBufferedFile* file) {
  if (file == nullptr || file->GetPosition() != 0) return kReadShort;
  if (file->GetLength() < kSunRasterHeaderSize) return kReadShort;

  std::uint8_t raw[kSunRasterHeaderSize];
  if (file->Read(raw, sizeof raw) != sizeof raw) return kReadShort;
  const SunRasterHeader header = DecodeHeader(raw);

  if (header.magic != kSunRasterMagic) return kReadBadMagic;
  if (!IsDepthIn(kReadableDepthMask, header.depth) || header.type > kLastType) {
    return kReadUnsupported;
  }
  // Width and height are signed in the format; the row length must be usable before any row
  // is read or any caller sizes a buffer from it.
  const auto width = static_cast<std::int32_t>(header.width);
  const auto height = static_cast<std::int32_t>(header.height);
  const RasterSize size = ComputeRasterSize(width, height, header.depth);
  if (!size.valid) return kReadUnsupported;
  if (header.maptype != kMapNone && header.maptype != kMapEqualRgb) return kReadUnsupported;

  // Every header starts from a black palette, so entries that a short colour map leaves
  // unset never show colours of an earlier file.
  RGBQUAD palette[kMaxPaletteEntries] = {};
  if (header.maptype == kMapEqualRgb) {
    const int status = ReadColorMap(*file, header.maplength, palette);
    if (status != kReadOk) return status;
  } else {
    BuildGreyPalette(header.depth, palette);
  }

  m_file = file;
  m_header = header;
  m_imageWidth = width;
  m_imageHeight = height;
  m_bitsPerPixel = static_cast<std::int32_t>(header.depth);
  m_bytesPerRow = size.bytesPerRow;
  m_currentRow = 0;
  // A run left over from the previous file's last row must not begin this file.
  m_runCount = 0;
  m_runValue = 0;
  std::memcpy(m_palette, palette, sizeof m_palette);
  return kReadOk;
}

// Three planes of maplength / 3 bytes: reds, greens, blues. Entries past the palette's 256 are
// consumed and dropped so that the pixel data starts right after the whole map.
int SunRasterReader::ReadColorMap(utl::CBufferedFile& file, std::uint32_t maplength,
                                  RGBQUAD* palette) {
  const std::int32_t entries = static_cast<std::int32_t>(maplength) / 3;
  if (entries <= 0) return kReadOk;
  // Refuse a map longer than the file at once instead of reading to its end.
  if (3 * std::int64_t{entries} > file.GetLength() - file.GetPosition()) return kReadShort;

  const std::size_t kept = static_cast<std::size_t>(std::min(entries, kMaxPaletteEntries));
  std::uint8_t planes[3][kMaxPaletteEntries];
  for (auto& plane : planes) {
    if (file.Read(plane, kept) != kept) return kReadShort;
    if (!Skip(file, entries - static_cast<std::int64_t>(kept))) return kReadShort;
  }
  for (std::size_t i = 0; i < kept; ++i) {
    palette[i].rgbRed = planes[0][i];
    palette[i].rgbGreen = planes[1][i];
    palette[i].rgbBlue = planes[2][i];
  }
  return kReadOk;
}

// Files without a colour map: a grey ramp for the indexed depths. A 1-bit file follows the
// format's monochrome convention, 0 white and 1 black, as every other reader shows it.
void SunRasterReader::BuildGreyPalette(std::uint32_t depth, RGBQUAD* palette) {
  if (depth == 1) {
    palette[0] = RGBQUAD{255, 255, 255, 0};
    palette[1] = RGBQUAD{0, 0, 0, 0};
    return;
  }
  if (depth > 8 && depth != 24) return;  // depth 32: nobody reads its palette; leave it black
  FillGreyRamp(palette, depth >= 8 ? kMaxPaletteEntries : 1 << depth);
}

int SunRasterReader::ReadScanline(std::uint8_t* row) {
  if (m_file == nullptr || row == nullptr) return kReadShort;
  if (m_header.type > kLastType) return kReadUnsupported;
  const int status = m_header.type == kTypeByteEncoded ? DecodeRow(row) : ReadRawRow(row);
  if (status != kReadOk) return status;
  ToMemoryOrder(row);
  ++m_currentRow;
  return kReadOk;
}

int SunRasterReader::ReadRawRow(std::uint8_t* row) {
  const auto length = static_cast<std::size_t>(m_bytesPerRow);
  return m_file->Read(row, length) == length ? kReadOk : kReadShort;
}

// The encoded bytes stand for all rows back to back, so a run may cross into the next row:
// its remaining copies are kept in m_runCount and put before anything else is read. Every
// pass of the loop consumes input and writes at most what is left of the row. Run state is
// touched only at the row's ends, so a literal byte costs the inline Read and one store.
int SunRasterReader::DecodeRow(std::uint8_t* row) {
  std::uint8_t* out = row;
  std::uint8_t* const end = row + m_bytesPerRow;
  if (m_runCount > 0) {
    const auto n = std::min<std::ptrdiff_t>(m_runCount, end - out);
    std::memset(out, m_runValue, static_cast<std::size_t>(n));
    out += n;
    m_runCount -= static_cast<std::int32_t>(n);
  }
  utl::CBufferedFile& file = *m_file;
  while (out != end) {
    std::uint8_t byte;
    if (!ReadByte(file, byte)) return kReadShort;
    if (byte != kRunEscape) {
      *out++ = byte;
      continue;
    }
    std::uint8_t count;
    if (!ReadByte(file, count)) return kReadShort;
    if (count == 0) {
      *out++ = kRunEscape;
      continue;
    }
    std::uint8_t value;
    if (!ReadByte(file, value)) return kReadShort;
    const std::ptrdiff_t copies = std::ptrdiff_t{count} + 1;
    const std::ptrdiff_t n = std::min(copies, end - out);
    std::memset(out, value, static_cast<std::size_t>(n));
    out += n;
    if (n < copies) {
      m_runValue = value;
      m_runCount = static_cast<std::int32_t>(copies - n);
    }
  }
  return kReadOk;
}

// Memory order is B,G,R for 24-bit and B,G,R,pad for 32-bit pixels. Only the image's pixels
// are touched; padding at the end of the row stays as read.
void SunRasterReader::ToMemoryOrder(std::uint8_t* row) const {
  const std::size_t pixels = static_cast<std::size_t>(m_imageWidth);
  // Plain byte moves rather than std::rotate and std::reverse, which the compiler leaves as
  // loops per pixel; these become a few vector shuffles per row.
  if (m_header.depth == 24 && m_header.type == kTypeRgb) {
    for (std::uint8_t* p = row; p != row + 3 * pixels; p += 3) std::swap(p[0], p[2]);
  } else if (m_header.depth == 32 && m_header.type == kTypeRgb) {
    for (std::uint8_t* p = row; p != row + 4 * pixels; p += 4) {
      const std::uint8_t pad = p[0];
      const std::uint8_t red = p[1];
      p[0] = p[3];
      p[1] = p[2];
      p[2] = red;
      p[3] = pad;
    }
  } else if (m_header.depth == 32) {
    // Old and byte-encoded files lay out their pixels as standard ones: the pad byte leads
    // in the file and goes last in memory.
    for (std::uint8_t* p = row; p != row + 4 * pixels; p += 4) {
      const std::uint8_t pad = p[0];
      p[0] = p[1];
      p[1] = p[2];
      p[2] = p[3];
      p[3] = pad;
    }
  }
}

void SunRasterReader::Reset() { m_file = nullptr; }

}  // namespace vemra
