#include "pngformat.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pixcv/convert.h"
#include "pixcv/pixels.h"

namespace pngio {

namespace {

constexpr unsigned char kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// Deflate expands data at most about 1032 times; a PNG that claims more pixels than its size
// can hold is refused before anything is allocated for it.
constexpr double kMaxInflateRatio = 1100.0;

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// 16 bits to 8, rounded: k x 257 gives k.
std::uint8_t Reduce(const std::uint8_t* le) {
  return static_cast<std::uint8_t>(((le[0] | le[1] << 8) * 255u + 32895u) >> 16);
}

// Whether entries 0 .. count - 1 are the first of the grey scale of a PNG depth, or of its
// reverse.
bool IsScale(const RGBQUAD* table, unsigned count, int depth, bool reversed) {
  const int top = (1 << depth) - 1;
  for (unsigned i = 0; i < count; ++i) {
    const int level = static_cast<int>(i) * 255 / top;
    if (!pixcv::IsGreyLevel(table[i], reversed ? 255 - level : level)) return false;
  }
  return true;
}

// One more than the highest index an indexed image's pixels hold (at least 1).
unsigned UsedEntries(const qxio::TrImage& image, int bits) {
  unsigned highest = 0;
  const unsigned top = (1u << bits) - 1;
  for (int y = 0; y < image.GetHeight() && highest < top; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.GetWidth(); ++x) {
      highest = std::max(highest, pixcv::PackedSample(row, static_cast<std::size_t>(x), bits));
    }
  }
  return highest + 1;
}

}  // namespace

bool HasSignature(const std::wstring& path) {
  utl::CBufferedFile file;
  if (!file.OpenNoThrow(path, "rb", utl::ShareRead, false)) return false;
  unsigned char start[sizeof kPngSignature];
  return file.Read(start, sizeof start) == sizeof start &&
         std::memcmp(start, kPngSignature, sizeof start) == 0;
}

int Channels(int colorType) {
  switch (colorType) {
    case kRgb: return 3;
    case kGreyAlpha: return 2;
    case kRgba: return 4;
    default: return 1;
  }
}

namespace {

const char* ColorTypeName(int colorType) {
  switch (colorType) {
    case kGrey: return "grey";
    case kRgb: return "RGB";
    case kPalette: return "palette";
    case kGreyAlpha: return "grey with alpha";
    case kRgba: return "RGB with alpha";
    default: return nullptr;
  }
}

bool DepthAllowed(int colorType, int depth) {
  switch (colorType) {
    case kGrey: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    default: return depth == 8 || depth == 16;
  }
}

// What PNG does not allow in the header's 13 bytes, in words; empty when it is sound.
std::string HeaderFault(std::uint32_t length, const std::uint8_t* ihdr) {
  constexpr std::uint32_t kLargest = 0x7fffffff;  // PNG's own bound
  const std::uint32_t width = Be32(ihdr), height = Be32(ihdr + 4);
  const int depth = ihdr[8], colorType = ihdr[9];
  if (length != 13) return "a header (IHDR) of " + std::to_string(length) + " bytes, not 13";
  if (width == 0 || height == 0) return width == 0 ? "a width of 0" : "a height of 0";
  if (width > kLargest || height > kLargest) return "a width or height past 2^31 - 1";
  if (!ColorTypeName(colorType)) return "colour type " + std::to_string(colorType);
  if (!DepthAllowed(colorType, depth)) {
    return "bit depth " + std::to_string(depth) + " with colour type " + ColorTypeName(colorType);
  }
  if (ihdr[10] != 0) return "compression method " + std::to_string(ihdr[10]);
  if (ihdr[11] != 0) return "filter method " + std::to_string(ihdr[11]);
  if (ihdr[12] > 1) return "interlace method " + std::to_string(ihdr[12]);
  return "";
}

// PNG's CRC-32 of a chunk's type and data.
std::uint32_t ChunkCrc(const std::uint8_t* bytes, std::size_t size) {
  std::uint32_t crc = 0xffffffff;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xedb88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// Whether a decoder takes a tRNS chunk (its type, data and CRC in chunk) as transparency, or
// drops it as damaged or out of place: the file's description must say what the import gives.
// Grey takes 2 bytes, RGB 6, a palette image one for each of at most its colours so far, others
// none.
bool TransparencyTaken(const Kind& kind, const std::uint8_t* chunk, std::uint32_t length,
                       std::uint32_t paletteEntries) {
  if (ChunkCrc(chunk, 4 + length) != Be32(chunk + 4 + length)) return false;
  switch (kind.colorType) {
    case kGrey: return length == 2;
    case kRgb: return length == 6;
    case kPalette: return length > 0 && length <= paletteEntries;
    default: return false;
  }
}

}  // namespace

const char* ColorTypeText(int colorType) {
  return ColorTypeName(colorType);
}

Kind ReadKind(utl::CBufferedFile& file) {
  std::uint8_t head[33];
  const std::size_t got = file.Read(head, sizeof head);
  if (got < sizeof kPngSignature || std::memcmp(head, kPngSignature, sizeof kPngSignature) != 0) {
    throw PngError("cannot read this PNG file: no PNG header");
  }
  if (got != sizeof head) throw PngError("cannot read this PNG file: the file ends in its header");
  if (std::memcmp(head + 12, "IHDR", 4) != 0) {
    throw PngError("cannot read this PNG file: its first chunk is not the header (IHDR)");
  }
  const std::string fault = HeaderFault(Be32(head + 8), head + 16);
  if (!fault.empty()) throw PngError("cannot read this PNG file: " + fault);
  Kind kind;
  kind.width = Be32(head + 16);
  kind.height = Be32(head + 20);
  kind.bitDepth = head[24];
  kind.colorType = head[25];
  kind.interlaced = head[28] != 0;
  // Chunks up to the image data: whether a tRNS chunk that decoders take is among them, and that
  // the data comes at all.
  std::uint32_t entries = 0;  // a palette image's colours so far
  for (std::uint8_t chunk[8]; file.Read(chunk, 8) == 8;) {
    if (Be32(chunk) > 0x7fffffff) {
      const bool named = std::all_of(chunk + 4, chunk + 8, [](std::uint8_t c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
      });
      throw PngError("cannot read this PNG file: a chunk" +
                     (named ? " (" + std::string(chunk + 4, chunk + 8) + ")" : std::string()) +
                     " of " + std::to_string(Be32(chunk)) + " bytes, past 2^31 - 1");
    }
    if (std::memcmp(chunk + 4, "IDAT", 4) == 0) break;
    if (std::memcmp(chunk + 4, "IEND", 4) == 0) {
      throw PngError("cannot read this PNG file: no image data before its end (IEND)");
    }
    const std::uint32_t length = Be32(chunk);
    const bool plte = std::memcmp(chunk + 4, "PLTE", 4) == 0;
    if (std::memcmp(chunk + 4, "tRNS", 4) == 0 && length <= 256) {
      std::uint8_t data[4 + 256 + 4];
      std::memcpy(data, chunk + 4, 4);
      if (file.Read(data + 4, length + 4) != length + 4) return kind;
      kind.transparency = kind.transparency || TransparencyTaken(kind, data, length, entries);
      continue;
    }
    if (plte && kind.colorType == kPalette) entries = std::min(length / 3, 1u << kind.bitDepth);
    for (std::uint64_t skip = std::uint64_t{length} + 4; skip > 0;) {
      std::uint8_t scratch[4096];
      const std::size_t n = skip < sizeof scratch ? static_cast<std::size_t>(skip) : sizeof scratch;
      if (file.Read(scratch, n) != n) return kind;
      skip -= n;
    }
  }
  return kind;
}

std::uint64_t FileRowBytes(const Kind& kind) {
  return pixcv::PackedRowBytes(kind.width, Channels(kind.colorType) * kind.bitDepth);
}

void CheckClaimedSize(const Kind& kind, std::int64_t fileBytes) {
  const double rowBytes = double(FileRowBytes(kind));
  if (double(kind.height) * (rowBytes + 1) > kMaxInflateRatio * double(fileBytes) + 4096.0) {
    throw PngError("the PNG claims " + std::to_string(kind.width) + " x " +
                   std::to_string(kind.height) + " pixels, more than its " +
                   std::to_string(fileBytes) + " bytes can hold");
  }
}

utl::ColorFormat HostFormat(const Kind& kind) {
  const int depth = kind.bitDepth;
  if (kind.transparency || kind.colorType == kGreyAlpha || kind.colorType == kRgba) {
    return utl::BGRA32;
  }
  if (kind.colorType == kGrey) {
    return depth == 1 ? utl::Gray1 : depth <= 4 ? utl::Gray4 : utl::Gray8;
  }
  if (kind.colorType == kPalette) {
    return depth == 1 ? utl::Indexed1 : depth <= 4 ? utl::Indexed4 : utl::Indexed8;
  }
  return utl::BGR24;
}

std::string PrecisionNotice(const Kind& kind) {
  return kind.bitDepth == 16 ? "16 bits per channel reduced to 8" : "";
}

qxio::TrImage NewImage(const Kind& kind, utl::ColorFormat format, qxio::CProgress& progress) {
  qxio::TrImage image;
  const bool indexed =
      format == utl::Indexed1 || format == utl::Indexed4 || format == utl::Indexed8;
  image.SetScanlineStart(static_cast<int>(kind.width), static_cast<int>(kind.height), format, 0, 0,
                         kind.palette, qxio::RowAccessByIndex, indexed ? kind.paletteSize : 0,
                         progress.IProgressPtr());
  return image;
}

std::size_t RowBytes(RowForm form, std::uint32_t width) {
  static constexpr int kChannels[] = {1, 1, 3, 4, 3, 4};
  const int channels = kChannels[static_cast<int>(form.samples)];
  return pixcv::PackedRowBytes(width, channels * form.bits);
}

RowMapper::RowMapper(RowForm from, utl::ColorFormat to, std::uint32_t width, const Kind& kind)
    : m_from(from), m_width(width), m_kind(kind) {
  const bool grey = from.samples == Samples::Grey, index = from.samples == Samples::Index;
  const int bits = from.bits;
  if ((grey && to == utl::Gray1 && bits == 1) || (grey && to == utl::Gray4 && bits == 4) ||
      (grey && to == utl::Gray8 && bits == 8) || (index && to == utl::Indexed1 && bits == 1) ||
      (index && to == utl::Indexed4 && bits == 4) || (index && to == utl::Indexed8 && bits == 8) ||
      (from.samples == Samples::Bgr && to == utl::BGR24) ||
      (from.samples == Samples::Bgra && to == utl::BGRA32)) {
    m_step = Step::Copy;
  } else if (bits == 2 && ((grey && to == utl::Gray4) || (index && to == utl::Indexed4))) {
    m_step = Step::Widen2;
  } else if ((grey && bits == 16 && to == utl::Gray8) ||
             (from.samples == Samples::Rgb16 && to == utl::BGR24) ||
             (from.samples == Samples::Rgba16 && to == utl::BGRA32)) {
    m_step = Step::Reduce16;
    m_channels = grey ? 1 : from.samples == Samples::Rgb16 ? 3 : 4;
  } else if (index && to == utl::BGRA32) {
    m_step = Step::Expand;
  }
}

void RowMapper::Map(const std::uint8_t* in, std::uint8_t* out) const {
  const int bits = m_from.bits;
  switch (m_step) {
    case Step::None: break;
    case Step::Copy: std::memcpy(out, in, RowBytes(m_from, m_width)); break;
    case Step::Widen2: {
      // 2-bit grey levels times 5 are the same 4-bit levels; indices stay as they are.
      const unsigned scale = m_from.samples == Samples::Grey ? 5 : 1;
      for (std::uint32_t x = 0; x < m_width; x += 2) {
        const unsigned low = x + 1 < m_width ? pixcv::PackedSample(in, x + 1, 2) * scale : 0;
        out[x / 2] = static_cast<std::uint8_t>(pixcv::PackedSample(in, x, 2) * scale << 4 | low);
      }
      break;
    }
    case Step::Reduce16:
      // R,G,B(,A) samples go to B,G,R(,A) bytes.
      for (std::uint32_t x = 0; x < m_width; ++x, in += 2 * m_channels, out += m_channels) {
        for (int c = 0; c < m_channels; ++c) {
          out[c < 3 && m_channels > 1 ? 2 - c : c] = Reduce(in + 2 * c);
        }
      }
      break;
    case Step::Expand:
      for (std::uint32_t x = 0; x < m_width; ++x, out += 4) {
        const unsigned i = pixcv::PackedSample(in, x, bits);
        const RGBQUAD c = i < m_kind.paletteSize ? m_kind.palette[i] : RGBQUAD{0, 0, 0, 0};
        out[0] = c.rgbBlue, out[1] = c.rgbGreen, out[2] = c.rgbRed;
        out[3] = i < m_kind.paletteSize ? m_kind.alpha[i] : 255;
      }
      break;
  }
}

WritePlan::WritePlan(const qxio::TrImage& image, bool sixteenBits) : m_image(image) {
  const utl::ColorFormat format = image.GetColorFormat();
  const int depth = utl::BitsPerPixel(format);
  switch (format) {
    case utl::Gray1:
    case utl::Gray4:
    case utl::Gray8: colorType = kGrey, bitDepth = depth, form = {Samples::Grey, depth}; break;
    case utl::Gray16:
      colorType = kGrey, bitDepth = sixteenBits ? 16 : 8, form = {Samples::Grey, bitDepth};
      if (!sixteenBits) m_step = Step::Reduce16;
      break;
    case utl::Indexed1:
    case utl::Indexed4:
    case utl::Indexed8: {
      // The entries the pixels use decide. The grey scale of a PNG depth (entry i at level
      // i x 255 / (2^depth - 1); at 1 bit also white, black) gives grey of that depth with the
      // indices as levels: 1-bit black and white, and the 16-step ramp an 8-bit file holds for
      // 4-bit grey, come back as they went. Other grey entries give their levels at 8 bits.
      const unsigned used = UsedEntries(image, depth);
      image.GetColorTable(palette, 0, 1 << depth);
      bool grey = true;
      for (unsigned i = 0; i < used; ++i) grey = grey && pixcv::IsGrey(palette[i]);
      for (const int scale : {1, 4, 8}) {
        const bool reversed = scale == 1 && IsScale(palette, used, 1, true);
        if ((1u << scale) >= used && (IsScale(palette, used, scale, false) || reversed)) {
          colorType = kGrey, bitDepth = scale, form = {Samples::Grey, scale};
          m_reversed = reversed;
          if (scale != depth || reversed) m_step = Step::Repack;
          return;
        }
      }
      if (grey) {
        colorType = kGrey, form = {Samples::Grey, 8}, m_step = Step::ThroughTable;
      } else {
        // Every entry, used or not, so that the map comes back whole.
        colorType = kPalette, bitDepth = depth, paletteSize = 1 << depth;
        form = {Samples::Index, depth};
      }
      break;
    }
    case utl::BGR24: form = {Samples::Bgr, 8}; break;
    case utl::BGRA32: {
      // Alpha only when the fourth bytes say something: pad bytes all 0 (as other writers
      // leave them) or all 255 are opaque; any other values, one level everywhere included,
      // are alpha.
      bool uniform = true;
      const std::uint8_t first = image.Row(0)[3];
      for (int y = 0; y < image.GetHeight() && uniform; ++y) {
        const std::uint8_t* row = image.Row(y);
        for (int x = 0; x < image.GetWidth(); ++x) uniform = uniform && row[4 * x + 3] == first;
      }
      const bool opaque = uniform && (first == 0 || first == 255);
      colorType = opaque ? kRgb : kRgba;
      form = {opaque ? Samples::Bgr : Samples::Bgra, 8};
      if (opaque) m_step = Step::DropFourth;
      break;
    }
    default: m_step = Step::Convert; break;
  }
}

const std::uint8_t* WritePlan::Row(int y, std::uint8_t* scratch) const {
  const std::uint8_t* row = m_image.Row(y);
  const int width = m_image.GetWidth();
  switch (m_step) {
    case Step::Copy: return row;
    case Step::Repack: {
      const int from = utl::BitsPerPixel(m_image.GetColorFormat()), to = form.bits;
      std::memset(scratch, 0, RowBytes(form, static_cast<std::uint32_t>(width)));
      for (int x = 0; x < width; ++x) {
        const unsigned level =
            pixcv::PackedSample(row, static_cast<std::size_t>(x), from) ^ (m_reversed ? 1 : 0);
        scratch[x * to / 8] |= static_cast<std::uint8_t>(level << (8 - to - x * to % 8));
      }
      break;
    }
    case Step::ThroughTable: {
      const int bits = utl::BitsPerPixel(m_image.GetColorFormat());
      for (int x = 0; x < width; ++x)
        scratch[x] = palette[pixcv::PackedSample(row, x, bits)].rgbRed;
      break;
    }
    case Step::DropFourth:
      for (int x = 0; x < width; ++x) std::memcpy(scratch + 3 * x, row + 4 * x, 3);
      break;
    case Step::Reduce16:
      for (int x = 0; x < width; ++x) scratch[x] = Reduce(row + 2 * x);
      break;
    case Step::Convert:
      if (!pixcv::SimplePixelConvert(width, row, m_image.GetColorFormat(), scratch, utl::BGR24, 0,
                                     nullptr, false)) {
        throw PngError("the image's colour format cannot be converted to RGB");
      }
      break;
  }
  return scratch;
}

}  // namespace pngio
