#include "sunrasterreader.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace vemra {

namespace {

// How far a run-length file is read ahead: enough that the cost of a Read call vanishes, little
// enough that the window stays in the cache and costs few page faults of its own (with 1 MiB,
// an import of a small file of long runs took a fifth longer).
constexpr std::size_t kWindowBytes = std::size_t{64} << 10;

// Consumes count bytes; false when the file ends first.
bool Skip(utl::CBufferedFile& file, std::int64_t count) {
  std::uint8_t scratch[kMaxPaletteEntries];
  while (count > 0) {
    const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(count, sizeof scratch));
    if (file.Read(scratch, chunk) != chunk) return false;
    count -= static_cast<std::int64_t>(chunk);
  }
  return true;
}

}  // namespace

SunRasterReader::SunRasterReader()
    : m_file(nullptr),
      m_bytesPerRow(0),
      m_runCount(0),
      m_runValue(0),
      m_windowCapacity(0),
      m_windowPos(0),
      m_windowEnd(0),
      m_header{},
      m_imageWidth(0),
      m_imageHeight(0),
      m_bitsPerPixel(0),
      m_palette{} {}

// Works on locals and commits only on success, so a refused file leaves the image the reader
// describes as it was.
int SunRasterReader::ReadHeader(utl::CBufferedFile* file) {
  if (file == nullptr || file->GetPosition() != 0) {
    return Refuse(kReadShort, "the file is not at its first byte");
  }
  if (file->GetLength() == 0) return Refuse(kReadShort, "the file is empty");
  if (file->GetLength() < kSunRasterHeaderSize)
    return Refuse(kReadShort, "the header is cut short");

  std::uint8_t raw[kSunRasterHeaderSize];
  if (file->Read(raw, sizeof raw) != sizeof raw)
    return Refuse(kReadShort, "the header is cut short");
  ByteOrder order;
  if (!MagicByteOrder(raw, order)) return Refuse(kReadBadMagic, "not a Sun raster file");
  const SunRasterHeader header = DecodeHeader(raw, order);

  if (!IsDepthIn(kReadableDepthMask, header.depth)) {
    return Refuse(kReadUnsupported, "unsupported depth " + std::to_string(header.depth));
  }
  if (header.type > kLastType) {
    return Refuse(kReadUnsupported, "unsupported type " + std::to_string(header.type));
  }
  // Width and height are signed in the format; the row length must be usable before any row
  // is read or any caller sizes a buffer from it.
  const auto width = static_cast<std::int32_t>(header.width);
  const auto height = static_cast<std::int32_t>(header.height);
  const RasterSize size = ComputeRasterSize(width, height, header.depth);
  if (!size.valid) {
    return Refuse(kReadUnsupported, "unsupported size " + std::to_string(width) + " x " +
                                        std::to_string(height) + " at depth " +
                                        std::to_string(header.depth));
  }
  if (header.maptype > kMapRaw) {
    return Refuse(kReadUnsupported,
                  "unsupported colour map type " + std::to_string(header.maptype));
  }

  // Every header starts from a black palette, so entries that a short colour map leaves
  // unset never show colours of an earlier file.
  RGBQUAD palette[kMaxPaletteEntries] = {};
  if (header.maptype == kMapEqualRgb) {
    const int status = ReadColorMap(*file, header.maplength, palette);
    if (status != kReadOk) return Refuse(status, "the colour map is cut short");
  } else {
    // A raw map has no layout to read colours from: the image reads as one without a map.
    if (header.maptype == kMapRaw) {
      const int status = SkipRawMap(*file, header.maplength);
      if (status != kReadOk) return Refuse(status, "the colour map is cut short");
    }
    BuildGreyPalette(header.depth, palette);
  }

  m_file = file;
  m_header = header;
  m_imageWidth = width;
  m_imageHeight = height;
  m_bitsPerPixel = static_cast<std::int32_t>(header.depth);
  m_bytesPerRow = size.bytesPerRow;
  // A run left over from the previous file's last row must not begin this file.
  m_runCount = 0;
  m_runValue = 0;
  m_windowPos = m_windowEnd = 0;
  m_padLast = PadLastEvidence{};
  std::memcpy(m_palette, palette, sizeof m_palette);
  m_refusal.clear();
  return kReadOk;
}

int SunRasterReader::Refuse(int status, std::string words) {
  m_refusal = std::move(words);
  return status;
}

// A map longer than the file is refused at once, as a colour map is.
int SunRasterReader::SkipRawMap(utl::CBufferedFile& file, std::uint32_t maplength) {
  const std::int64_t bytes = static_cast<std::int32_t>(maplength);
  if (bytes <= 0) return kReadOk;
  if (bytes > file.GetLength() - file.GetPosition()) return kReadShort;
  return Skip(file, bytes) ? kReadOk : kReadShort;
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
  if (m_header.depth == 32 && m_padLast.possible) WeighPadLast(row);
  ToMemoryOrder(row);
  return kReadOk;
}

int SunRasterReader::ReadRawRow(std::uint8_t* row) {
  const auto length = static_cast<std::size_t>(m_bytesPerRow);
  return m_file->Read(row, length) == length ? kReadOk : kReadShort;
}

// The encoded bytes stand for all rows back to back, so a run may cross into the next row:
// its remaining copies are kept in m_runCount and put before anything else is decoded. The
// bytes come from the window, which is refilled whenever it holds no whole code.
int SunRasterReader::DecodeRow(std::uint8_t* row) {
  std::uint8_t* out = row;
  std::uint8_t* const end = row + m_bytesPerRow;
  if (m_runCount > 0) {
    const std::int32_t owed = m_runCount;
    m_runCount = 0;
    out = PutRun(out, end, m_runValue, owed);
  }
  while (out != end) {
    out = DecodeWindow(out, end);
    if (out != end && !RefillWindow()) return kReadShort;
  }
  return kReadOk;
}

// Decodes from the window into [out, end) until the row is full or the window runs out of
// whole codes; returns where the row stands. Literal stretches up to the next escape byte are
// copied at once.
std::uint8_t* SunRasterReader::DecodeWindow(std::uint8_t* out, std::uint8_t* const end) {
  const std::uint8_t* in = m_window.get() + m_windowPos;
  const std::uint8_t* const last = m_window.get() + m_windowEnd;
  while (out != end && in != last) {
    if (*in != kRunEscape) {
      in = CopyLiterals(in, last, out, end);
      continue;  // at an escape byte, or the row is full or the window empty
    }
    if (last - in < 2) break;
    if (in[1] == 0) {  // a lone escape byte
      *out++ = kRunEscape;
      in += 2;
      continue;
    }
    if (last - in < 3) break;
    const std::uint8_t value = in[2];
    const std::int32_t copies = std::int32_t{in[1]} + 1;
    in += 3;
    out = PutRun(out, end, value, copies);
  }
  m_windowPos = static_cast<std::size_t>(in - m_window.get());
  return out;
}

// Copies the bytes before the next escape byte, as many as the input and the row hold;
// returns where the input stands and moves out on.
const std::uint8_t* SunRasterReader::CopyLiterals(const std::uint8_t* in,
                                                  const std::uint8_t* const last,
                                                  std::uint8_t*& out, std::uint8_t* const end) {
  const auto room = static_cast<std::size_t>(std::min(end - out, last - in));
  const auto* escape = static_cast<const std::uint8_t*>(std::memchr(in, kRunEscape, room));
  const std::size_t literals = escape != nullptr ? static_cast<std::size_t>(escape - in) : room;
  std::memcpy(out, in, literals);
  out += literals;
  return in + literals;
}

// Puts what fits of a run into the row; the copies left over are owed to the next row.
std::uint8_t* SunRasterReader::PutRun(std::uint8_t* out, std::uint8_t* const end,
                                      std::uint8_t value, std::int32_t copies) {
  const std::int32_t n = static_cast<std::int32_t>(std::min<std::ptrdiff_t>(copies, end - out));
  std::memset(out, value, static_cast<std::size_t>(n));
  m_runValue = value;
  m_runCount = copies - n;  // 0 when the whole run fits
  return out + n;
}

// Keeps the unread part of a code (at most two bytes) at the window's start and reads after
// it; false when the file has no more bytes.
bool SunRasterReader::RefillWindow() {
  if (m_windowEnd == 0) SizeWindow();
  const std::size_t kept = m_windowEnd - m_windowPos;
  std::memmove(m_window.get(), m_window.get() + m_windowPos, kept);
  m_windowPos = 0;
  m_windowEnd = kept;
  const std::size_t got = m_file->Read(m_window.get() + kept, m_windowCapacity - kept);
  m_windowEnd += got;
  return got > 0;
}

// Sized by what is left of the file, so that a small file does not cost the whole window; a
// length the file cannot tell gets the whole window.
void SunRasterReader::SizeWindow() {
  const std::int64_t left = m_file->GetLength() - m_file->GetPosition();
  const std::size_t wanted =
      left > 0 && left < std::int64_t{kWindowBytes}
          ? std::max(static_cast<std::size_t>(left), std::size_t{kMaxRunEncodedBytes})
          : kWindowBytes;
  if (m_windowCapacity >= wanted) return;
  m_window.reset(new std::uint8_t[wanted]);
  m_windowCapacity = wanted;
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

// Gathers, for the rows as the file holds them, what PixelsLookPadLast weighs. Most files
// show a non-zero last byte in their first row, after which nothing more is gathered.
void SunRasterReader::WeighPadLast(const std::uint8_t* row) {
  const std::size_t pixels = static_cast<std::size_t>(m_imageWidth);
  if (m_padLast.pixels == 0) m_padLast.firstValue = row[0];
  const std::uint8_t reference = m_padLast.firstValue;
  std::uint8_t lastBits = 0;
  std::uint8_t firstChanges = 0;
  std::size_t extremes = 0;
  for (std::size_t x = 0; x < pixels; ++x) {
    const std::uint8_t first = row[4 * x];
    lastBits |= row[4 * x + 3];
    firstChanges |= first ^ reference;
    extremes += static_cast<std::uint8_t>(first + 1) <= 1;  // 0 or 255
  }
  m_padLast.possible = lastBits == 0;
  m_padLast.firstVaries = m_padLast.firstVaries || firstChanges != 0;
  m_padLast.extremes += extremes;
  m_padLast.pixels += pixels;
}

// A pad byte that is zero in every pixel is what pad-last files hold; a first byte that varies
// and is mostly neither 0 nor 255 is a colour, not an alpha channel (which is mostly opaque or
// clear), nor a constant pad.
bool SunRasterReader::PixelsLookPadLast() const {
  return m_header.depth == 32 && m_padLast.possible && m_padLast.firstVaries &&
         2 * m_padLast.extremes < m_padLast.pixels;
}

// The row was put in memory order as if its pixels were pad-first: type 3 reversed them
// (memory 0,B,G,R from R,G,B,0), the other types moved the first byte last (memory G,R,0,B
// from B,G,R,0). Only the image's pixels are touched, as by ToMemoryOrder.
void SunRasterReader::ToPadLastOrder(std::uint8_t* row) const {
  const std::size_t pixels = static_cast<std::size_t>(m_imageWidth);
  const bool reversed = m_header.type == kTypeRgb;
  for (std::uint8_t* p = row; p != row + 4 * pixels; p += 4) {
    const std::uint8_t m0 = p[0], m1 = p[1], m2 = p[2], m3 = p[3];
    p[0] = reversed ? m1 : m3;
    p[1] = reversed ? m2 : m0;
    p[2] = reversed ? m3 : m1;
    p[3] = reversed ? m0 : m2;
  }
}

void SunRasterReader::Reset() {
  m_file = nullptr;
}

}  // namespace vemra
