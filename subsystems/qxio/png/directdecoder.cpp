#include "directdecoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "pngrows.h"
#include "utl/memory.h"

namespace pngio {

namespace {

// The inflated rows are held whole, beside the image: a larger image goes through libpng, which
// holds one row at a time.
constexpr std::uint64_t kMaxInflatedBytes = std::uint64_t{512} << 20;

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct FreeDeleter {
  void operator()(std::uint8_t* p) const { std::free(p); }
};
using Block = std::unique_ptr<std::uint8_t[], FreeDeleter>;

// Memory of many megabytes, written once: with huge pages hinted, as for the image itself, since
// on some machines the first touch of each 4 KiB page costs more than inflating into it. Empty
// when the system has none to give.
Block NewBlock(std::size_t bytes) {
  Block block(static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(bytes, 1))));
  utl::AdviseHugePages(block.get(), bytes);
  return block;
}

// A PNG's chunks in order, each read whole with its CRC.
class Chunks {
public:
  explicit Chunks(utl::CBufferedFile& file) : m_file(file) {}

  // The next chunk's length and type; false at the file's end and for a length past PNG's bound.
  bool Next() {
    std::uint8_t head[8];
    if (m_file.Read(head, sizeof head) != sizeof head) return false;
    m_length = Be32(head);
    std::memcpy(m_type, head + 4, 4);
    return m_length <= 0x7fffffff;
  }
  bool Is(const char* type) const { return std::memcmp(m_type, type, 4) == 0; }
  std::uint32_t Length() const { return m_length; }
  // Whether a reader may pass over the chunk: its type in letters, the first a small one.
  bool Ancillary() const {
    return std::all_of(
               m_type, m_type + 4,
               [](std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }) &&
           (m_type[0] & 0x20) != 0;
  }

  // Reads the chunk's data, into data unless it is null, and its CRC; false when the file ends
  // first, or when checked and the CRC does not match.
  bool Consume(std::uint8_t* data, bool checked) {
    std::uint32_t crc = libdeflate_crc32(0, m_type, 4);
    for (std::uint32_t left = m_length; left > 0;) {
      std::uint8_t scratch[16384];
      const std::uint32_t n = data ? left : std::min<std::uint32_t>(left, sizeof scratch);
      std::uint8_t* into = data ? data : scratch;
      if (m_file.Read(into, n) != n) return false;
      if (checked) crc = libdeflate_crc32(crc, into, n);
      left -= n;
    }
    std::uint8_t stored[4];
    return m_file.Read(stored, 4) == 4 && (!checked || Be32(stored) == crc);
  }

private:
  utl::CBufferedFile& m_file;
  std::uint32_t m_length = 0;
  std::uint8_t m_type[4] = {};
};

// The image data of the PNG at path: the data of its IDAT chunks laid end to end, size bytes;
// false for a file whose chunks from there on libpng may refuse (see DecodeDirect).
bool ReadImageData(const std::wstring& path, Block& data, std::uint64_t& size) {
  utl::CBufferedFile file;
  std::uint8_t signature[8];
  if (!file.OpenNoThrow(path, "rb", utl::ShareRead, false) ||
      file.Read(signature, sizeof signature) != sizeof signature) {
    return false;
  }
  Chunks chunks(file);
  // libpng has read and checked the chunks before the image data.
  do {
    if (!chunks.Next()) return false;
  } while (!chunks.Is("IDAT") && chunks.Consume(nullptr, false));
  const std::int64_t room = file.GetLength() - file.GetPosition();
  data = NewBlock(static_cast<std::size_t>(std::max<std::int64_t>(room, 0)));
  if (!chunks.Is("IDAT") || !data) return false;
  for (size = 0; chunks.Is("IDAT");) {
    const std::uint32_t length = chunks.Length();
    if (std::int64_t(size + length) > room || !chunks.Consume(data.get() + size, true))
      return false;
    size += length;
    if (!chunks.Next()) return false;
  }
  // After the image data libpng passes over ancillary chunks, their CRCs unchecked (a wrong
  // one is its warning, not its error), up to the end.
  while (!chunks.Is("IEND")) {
    if (!chunks.Ancillary() || !chunks.Consume(nullptr, false) || !chunks.Next()) return false;
  }
  return chunks.Consume(nullptr, true);
}

// The rows, each with its filter type, inflated from the zlib stream of size bytes at data;
// empty unless the stream holds exactly bytes bytes and its Adler-32 holds. Data after the
// stream is libpng's warning, not its error, and is passed over.
Block Inflate(const std::uint8_t* data, std::uint64_t size, std::uint64_t bytes) {
  // A window smaller than zlib's largest makes zlib refuse distances past it, which libdeflate
  // takes: only rows that fit in such a window take this way.
  const int windowBits = size < 2 ? 0 : (data[0] >> 4) + 8;
  if (windowBits < 15 && bytes > (std::uint64_t{1} << windowBits)) return nullptr;
  struct FreeInflater {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
  };
  const std::unique_ptr<libdeflate_decompressor, FreeInflater> inflater(
      libdeflate_alloc_decompressor());
  Block rows = NewBlock(bytes);
  if (!rows || !inflater ||
      libdeflate_zlib_decompress(inflater.get(), data, size, rows.get(), bytes, nullptr) !=
          LIBDEFLATE_SUCCESS) {
    return nullptr;
  }
  return rows;
}

// Turns unfiltered rows of the file into the image's.
class RowWriter {
public:
  RowWriter(const Kind& kind, utl::ColorFormat to)
      : m_width(kind.width),
        m_swapChannels(kind.bitDepth != 8        ? 0
                       : kind.colorType == kRgb  ? 3
                       : kind.colorType == kRgba ? 4
                                                 : 0),
        m_sixteen(kind.bitDepth == 16),
        m_mapper(FormOf(kind), to, kind.width, kind),
        m_scratch(m_sixteen ? FileRowBytes(kind) : 0) {
    // Bits past the last pixel of a copied row stay zero, as libpng leaves them.
    const unsigned usedBits = static_cast<unsigned>(std::uint64_t{kind.width} * kind.bitDepth % 8);
    if (m_mapper.Direct() && usedBits > 0) {
      m_lastByte = FileRowBytes(kind) - 1;
      m_lastMask = static_cast<std::uint8_t>(0xFF << (8 - usedBits));
    }
  }

  void Put(Isa isa, const std::uint8_t* row, std::uint8_t* out) {
    if (m_swapChannels > 0) return SwapRedBlue(isa, row, out, m_width, m_swapChannels);
    if (m_sixteen) {
      // Samples big-endian in the file, little-endian where the mapper takes them.
      for (std::size_t i = 0; i + 1 < m_scratch.size(); i += 2) {
        m_scratch[i] = row[i + 1], m_scratch[i + 1] = row[i];
      }
      row = m_scratch.data();
    }
    m_mapper.Map(row, out);
    out[m_lastByte] &= m_lastMask;
  }

private:
  static RowForm FormOf(const Kind& kind) {
    const int bits = kind.bitDepth;
    switch (kind.colorType) {
      case kPalette: return {Samples::Index, bits};
      case kRgb: return {bits == 16 ? Samples::Rgb16 : Samples::Bgr, bits};
      case kRgba: return {bits == 16 ? Samples::Rgba16 : Samples::Bgra, bits};
      default: return {Samples::Grey, bits};
    }
  }

  std::size_t m_width;
  unsigned m_swapChannels;
  bool m_sixteen;
  RowMapper m_mapper;
  std::vector<std::uint8_t> m_scratch;
  std::size_t m_lastByte = 0;
  std::uint8_t m_lastMask = 0xFF;
};

}  // namespace

bool DirectKind(const Kind& kind) {
  if (kind.interlaced) return false;
  switch (kind.colorType) {
    case kPalette:
    case kRgba: return true;
    case kGrey:
    case kRgb: return !kind.transparency;
    default: return false;
  }
}

bool DecodeDirect(const std::wstring& path, const Kind& kind, qxio::TrImage& image,
                  qxio::CProgress& progress) {
  const std::uint64_t rowBytes = FileRowBytes(kind);
  if (!DirectKind(kind) || kind.height > kMaxInflatedBytes / (rowBytes + 1)) return false;
  const std::uint64_t inflatedBytes = (rowBytes + 1) * kind.height;

  Block data;
  std::uint64_t size = 0;
  if (!ReadImageData(path, data, size)) return false;
  const Block rows = Inflate(data.get(), size, inflatedBytes);
  data.reset();
  if (!rows) return false;
  const std::size_t line = rowBytes + 1;
  for (std::uint32_t y = 0; y < kind.height; ++y) {
    if (rows[y * line] > 4) return false;
  }

  // The rows of every kind taken here map onto its host format.
  RowWriter writer(kind, image.GetColorFormat());
  const Isa isa = BestIsa();
  const unsigned bpp = std::max(1u, unsigned(Channels(kind.colorType) * kind.bitDepth / 8));
  const std::vector<std::uint8_t> zeros(rowBytes);
  const std::uint8_t* prior = zeros.data();
  for (std::uint32_t y = 0; y < kind.height; ++y) {
    std::uint8_t* row = rows.get() + y * line;
    Unfilter(isa, row[0], row + 1, prior, rowBytes, bpp);
    writer.Put(isa, row + 1, image.MutableRow(static_cast<int>(y)));
    prior = row + 1;
    progress.Proportion(static_cast<double>(y) / kind.height);
  }
  return true;
}

}  // namespace pngio
