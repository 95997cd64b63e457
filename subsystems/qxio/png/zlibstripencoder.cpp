// The PNG encoder for every system but Windows: rows filtered here and deflated by zlib in
// strips, on every core for a large image, joined into one zlib stream.
//
// Each strip is a raw deflate stream primed with the 32 KiB of filtered rows before it and
// ended on a full flush (the last one on the stream's end), so the strips laid end to end are
// one deflate stream; their Adler-32 values combine into the stream's. How the rows fall into
// strips depends on the image alone, never on the number of threads: the file is the same on
// every machine. libpng's own writer compresses on one thread only.
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "pngformat.h"
#include "utl/threadbudget.h"

#include "pngpredictors.h"

namespace pngio {

namespace {

constexpr std::size_t kStripBytes = std::size_t{1} << 20;  // filtered bytes a strip holds
constexpr std::size_t kWindow = 32768;                     // deflate's reach back
// An IDAT's data at most. Small chunks, as most writers make them: a strip of a large image spans
// several, so the split runs on every such image, not only on rows of a gigabyte.
constexpr std::size_t kMaxChunk = std::size_t{1} << 18;

// How zlib compresses (docs/performance.md). Filtered rows of photographs and smooth pictures take
// runs alone (Z_RLE): smaller than level 6's matches there, at a third of level 3's time. Grain
// of few levels, the same in every channel, leaves filtered rows whose strings recur: level 3's
// matches make them up to half the size of runs, in 1.6 times their time. Level 3 searches 32
// earlier strings for a match and indexes the strings inside matches of up to 6 bytes; 20 and 16
// make grain's file 1.7 % larger in seven eighths of the time (16 and 16: 3.6 % larger in 82 %,
// but 10 % larger than libpng's on a grain of 512 x 512).
// Each strip of filtered rows takes the one of the two that compresses a sample of its rows
// smaller, matches only when by more than 3 %. Indices and grey below 8 bits, unfiltered, need real
// matches: level 4 is within 2 % of level 6's size there at half its time.
struct Compression {
  int level;
  int strategy;
  int searched = 0;  // earlier strings tried for a match; 0: as the level has it
  int indexed = 0;   // the longest match whose strings are indexed, where searched is set
};
constexpr Compression kRuns = {3, Z_RLE}, kMatches = {3, Z_DEFAULT_STRATEGY, 20, 16};
constexpr Compression kUnfiltered = {4, Z_DEFAULT_STRATEGY};
constexpr std::size_t kSampleBytes = 32768;

void PutBe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v >> 24), p[1] = std::uint8_t(v >> 16), p[2] = std::uint8_t(v >> 8);
  p[3] = std::uint8_t(v);
}

void WriteChunk(utl::CBufferedFile& file, const char* type, const std::uint8_t* data,
                std::size_t size) {
  std::uint8_t head[8];
  PutBe32(head, static_cast<std::uint32_t>(size));
  std::memcpy(head + 4, type, 4);
  // zlib takes a null buffer as a request for the initial value: IEND has no data to add.
  uLong sum = crc32_z(0, head + 4, 4);
  if (size > 0) sum = crc32_z(sum, data, size);
  std::uint8_t crc[4];
  PutBe32(crc, static_cast<std::uint32_t>(sum));
  file.Write(head, sizeof head);
  if (size > 0) file.Write(data, size);
  file.Write(crc, sizeof crc);
}

// Turns rows of plan's form into the PNG's byte order: colour as R,G,B(,A), 16-bit samples
// big-endian.
void ToFileOrder(RowForm form, std::size_t bytes, std::uint8_t* row) {
  if (form.bits == 16) {
    for (std::size_t i = 0; i + 1 < bytes; i += 2) std::swap(row[i], row[i + 1]);
  } else if (form.samples == Samples::Bgr || form.samples == Samples::Bgra) {
    const std::size_t step = form.samples == Samples::Bgr ? 3 : 4;
    for (std::size_t i = 0; i + 2 < bytes; i += step) std::swap(row[i], row[i + 2]);
  }
}

// What a filtered byte costs in the choice of a row's filter: its distance from 0, the byte
// taken as signed.
unsigned Cost(std::uint8_t byte) {
  return byte < 128 ? byte : 256u - byte;
}

// Bytes [from, end) of the row under Sub, Up, Average and Paeth into trial[0] to trial[3], and
// what they cost, unfiltered first, added to costs[0] to costs[4].
void TryFilters(const std::uint8_t* row, const std::uint8_t* above, std::size_t from,
                std::size_t end, std::size_t bpp, std::uint8_t* const trial[4],
                std::uint64_t costs[5]) {
  for (std::size_t i = from; i < end; ++i) {
    const int left = i >= bpp ? row[i - bpp] : 0, top = above[i];
    const int corner = i >= bpp ? above[i - bpp] : 0;
    const std::uint8_t bytes[5] = {row[i], std::uint8_t(row[i] - left), std::uint8_t(row[i] - top),
                                   std::uint8_t(row[i] - ((left + top) >> 1)),
                                   std::uint8_t(row[i] - Paeth(left, top, corner))};
    costs[0] += Cost(bytes[0]);
    for (int f = 0; f < 4; ++f) {
      trial[f][i] = bytes[f + 1];
      costs[f + 1] += Cost(bytes[f + 1]);
    }
  }
}

#if defined(PNGIO_X86)
// The same for 16 bytes at a time from bpp on; returns where it stopped, short of the row's
// last 16 bytes.
std::size_t TryFiltersSse2(const std::uint8_t* row, const std::uint8_t* above, std::size_t n,
                           std::size_t bpp, std::uint8_t* const trial[4], std::uint64_t costs[5]) {
  const __m128i zero = _mm_setzero_si128();
  const auto load = [](const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  __m128i sums[5] = {zero, zero, zero, zero, zero};
  std::size_t i = bpp;
  for (; i + 16 <= n; i += 16) {
    const __m128i x = load(row + i), a = load(row + i - bpp), b = load(above + i);
    const __m128i c = load(above + i - bpp);
    // Paeth's predictor takes 8 bytes at a time, widened to 16 bits.
    const __m128i low = simd::Paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero),
                                      _mm_unpacklo_epi8(c, zero));
    const __m128i high = simd::Paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero),
                                       _mm_unpackhi_epi8(c, zero));
    const __m128i bytes[5] = {x, _mm_sub_epi8(x, a), _mm_sub_epi8(x, b),
                              _mm_sub_epi8(x, simd::Average8(a, b)),
                              _mm_sub_epi8(x, _mm_packus_epi16(low, high))};
    for (int f = 0; f < 5; ++f) {
      // A byte's distance from 0 as signed is the smaller of it and its negation, unsigned.
      const __m128i cost = _mm_min_epu8(bytes[f], _mm_sub_epi8(zero, bytes[f]));
      sums[f] = _mm_add_epi64(sums[f], _mm_sad_epu8(cost, zero));
      if (f > 0) _mm_storeu_si128(reinterpret_cast<__m128i*>(trial[f - 1] + i), bytes[f]);
    }
  }
  for (int f = 0; f < 5; ++f) {
    costs[f] += static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums[f])) +
                static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums[f], sums[f])));
  }
  return i;
}
#endif

// How rows are filtered: not at all; each by the filter whose bytes, taken as signed, have the
// least sum of absolute values (a cheap guess at what compresses best, libpng's); or all by Sub,
// or all by Up.
enum class Filters { None, Adaptive, Sub, Up };

class RowFilter {
public:
  RowFilter(std::size_t rowBytes, int bytesPerPixel, Filters filters)
      : m_rowBytes(rowBytes),
        m_bpp(static_cast<std::size_t>(bytesPerPixel)),
        m_filters(filters),
        m_trial(filters == Filters::Adaptive ? 4 * rowBytes : 0) {}

  // Writes the filter byte and the filtered row to out (rowBytes + 1 bytes).
  void Filter(const std::uint8_t* row, const std::uint8_t* above, std::uint8_t* out) {
    if (m_filters == Filters::Sub || m_filters == Filters::Up) {
      const bool sub = m_filters == Filters::Sub;
      out[0] = sub ? 1 : 2;
      for (std::size_t i = 0; i < m_rowBytes; ++i) {
        const int before = !sub ? above[i] : i >= m_bpp ? row[i - m_bpp] : 0;
        out[i + 1] = std::uint8_t(row[i] - before);
      }
      return;
    }
    out[0] = 0;
    std::memcpy(out + 1, row, m_rowBytes);
    if (m_filters == Filters::None) return;
    const std::size_t n = m_rowBytes, bpp = std::min(m_bpp, n);
    std::uint8_t* const trial[4] = {m_trial.data(), m_trial.data() + n, m_trial.data() + 2 * n,
                                    m_trial.data() + 3 * n};
    std::uint64_t costs[5] = {};
    TryFilters(row, above, 0, bpp, bpp, trial, costs);
    std::size_t done = bpp;
#if defined(PNGIO_X86)
    done = TryFiltersSse2(row, above, n, bpp, trial, costs);
#endif
    TryFilters(row, above, done, n, bpp, trial, costs);
    std::uint64_t best = costs[0];
    for (int f = 0; f < 4; ++f) {
      if (costs[f + 1] < best) {
        best = costs[f + 1];
        out[0] = static_cast<std::uint8_t>(f + 1);
        std::memcpy(out + 1, trial[f], n);
      }
    }
  }

private:
  std::size_t m_rowBytes;
  std::size_t m_bpp;
  Filters m_filters;
  std::vector<std::uint8_t> m_trial;
};

// The rows, filtered and deflated strip by strip.
class StripEncoder {
public:
  StripEncoder(const WritePlan& plan, std::uint32_t width, std::uint32_t height)
      : m_plan(plan), m_height(height), m_rowBytes(RowBytes(plan.form, width)) {
    const int channels = plan.colorType == kRgb ? 3 : plan.colorType == kRgba ? 4 : 1;
    m_bytesPerPixel = std::max(1, channels * plan.bitDepth / 8);
    m_stripRows =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, kStripBytes / (m_rowBytes + 1)));
    m_strips = (height + m_stripRows - 1) / m_stripRows;
    // Indices and grey of fewer than 8 bits gain nothing from filters.
    if (plan.colorType != kPalette && plan.bitDepth >= 8) m_filters = ChooseFilters();
  }

  std::uint32_t Strips() const { return m_strips; }
  // What the zlib header says of the compression: runs for filtered rows, where most strips take
  // them.
  Compression Method() const { return m_filters != Filters::None ? kRuns : kUnfiltered; }

  struct Strip {
    std::vector<std::uint8_t> deflated;
    uLong adler = 1;
    std::uint64_t rawBytes = 0;
  };

  // Strip index s: its rows filtered, primed with the window before them, deflated.
  Strip Encode(std::uint32_t s) const {
    const std::size_t line = m_rowBytes + 1;
    const std::uint32_t first = s * m_stripRows;
    const std::uint32_t end = std::min(m_height, first + m_stripRows);
    const std::uint32_t primer =
        std::min<std::uint32_t>(first, static_cast<std::uint32_t>((kWindow + line - 1) / line));
    const std::vector<std::uint8_t> filtered = FilterRows(first - primer, end, m_filters);
    const std::size_t primed = std::size_t{primer} * line;
    Strip strip;
    strip.rawBytes = filtered.size() - primed;
    strip.adler = adler32_z(1, filtered.data() + primed, strip.rawBytes);
    const std::size_t window = std::min(primed, kWindow);
    const Compression how = m_filters != Filters::None
                                ? ChooseCompression(filtered.data() + primed, strip.rawBytes)
                                : kUnfiltered;
    strip.deflated =
        Deflate(how, filtered.data() + primed - window, window, strip.rawBytes, end == m_height);
    return strip;
  }

private:
  void LoadRow(std::uint32_t y, std::uint8_t* out, std::uint8_t* scratch) const {
    const std::uint8_t* row = m_plan.Row(static_cast<int>(y), scratch);
    std::memcpy(out, row, m_rowBytes);
    ToFileOrder(m_plan.form, m_rowBytes, out);
  }

  // Rows start to end - 1, each with its filter type byte before it.
  std::vector<std::uint8_t> FilterRows(std::uint32_t start, std::uint32_t end,
                                       Filters filters) const {
    const std::size_t line = m_rowBytes + 1;
    std::vector<std::uint8_t> filtered(std::size_t{end - start} * line);
    std::vector<std::uint8_t> rows(2 * m_rowBytes), scratch(m_rowBytes);
    std::uint8_t* above = rows.data();
    std::uint8_t* current = above + m_rowBytes;
    if (start > 0) LoadRow(start - 1, above, scratch.data());
    RowFilter filter(m_rowBytes, m_bytesPerPixel, filters);
    for (std::uint32_t y = start; y < end; ++y) {
      LoadRow(y, current, scratch.data());
      filter.Filter(current, above, &filtered[std::size_t{y - start} * line]);
      std::swap(above, current);
    }
    return filtered;
  }

  // The filters of the whole image, by 128 KiB of rows at a quarter, a half and three quarters
  // of its height (shorter samples favour the wrong filter while zlib's matches have little to
  // go on): Sub or Up, whichever makes them compress smaller, where that is smaller than the
  // adaptive filters by more than 3 %, as with grain of few levels shared by the channels,
  // whose filtered bytes then repeat across a pixel's channels.
  Filters ChooseFilters() const {
    const std::uint32_t rows = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(4 * kSampleBytes / (m_rowBytes + 1), 1, m_height));
    const std::uint32_t samples = rows < m_height ? 3 : 1;
    const auto deflated = [&](Filters filters) {
      std::size_t size = 0;
      for (std::uint32_t n = 1; n <= samples; ++n) {
        const auto start = static_cast<std::uint32_t>(std::uint64_t{m_height - rows} * n / 4);
        const std::vector<std::uint8_t> sample = FilterRows(start, start + rows, filters);
        const std::size_t matches = DeflatedSize(kMatches, sample.data(), sample.size());
        size += filters != Filters::Adaptive
                    ? matches
                    : std::min(matches, DeflatedSize(kRuns, sample.data(), sample.size()));
      }
      return size;
    };
    const std::size_t sub = deflated(Filters::Sub), up = deflated(Filters::Up);
    const Filters fixed = sub < up ? Filters::Sub : Filters::Up;
    return std::min(sub, up) * 100 < deflated(Filters::Adaptive) * 97 ? fixed : Filters::Adaptive;
  }

  // Runs or matches for the filtered rows of a strip, size bytes at rows, by a sample of them.
  static Compression ChooseCompression(const std::uint8_t* rows, std::size_t size) {
    const std::size_t sample = std::min(size, kSampleBytes);
    const std::size_t runs = DeflatedSize(kRuns, rows, sample);
    const std::size_t matches = DeflatedSize(kMatches, rows, sample);
    return matches * 100 < runs * 97 ? kMatches : kRuns;
  }

  // The size of a sample's stream of its own, which the choices above compare.
  static std::size_t DeflatedSize(Compression how, const std::uint8_t* data, std::size_t size) {
    return Deflate(how, data, 0, size, true).size();
  }

  // Raw deflate of size bytes at data + window, the window bytes before them as dictionary;
  // size is below 2 GiB (a strip's rows, or one row).
  static std::vector<std::uint8_t> Deflate(Compression how, const std::uint8_t* data,
                                           std::size_t window, std::size_t size, bool last) {
    z_stream z{};
    if (deflateInit2(&z, how.level, Z_DEFLATED, -15, 9, how.strategy) != Z_OK) {
      throw std::bad_alloc();
    }
    // Level 3's other limits stay: 4 (for lazy matching, which its speed leaves out) and 32, the
    // length of a match that ends the search.
    if (how.searched > 0) deflateTune(&z, 4, how.indexed, 32, how.searched);
    struct End {
      z_stream* z;
      ~End() { deflateEnd(z); }
    } end{&z};
    if (window > 0) deflateSetDictionary(&z, data, static_cast<uInt>(window));
    // The bound, plus the few bytes of the flush's empty block.
    std::vector<std::uint8_t> out(deflateBound(&z, size) + 16);
    z.next_in = const_cast<Bytef*>(data + window);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
    if (status != (last ? Z_STREAM_END : Z_OK) || z.avail_in > 0 || z.avail_out == 0) {
      throw PngError("cannot compress the PNG image");
    }
    out.resize(out.size() - z.avail_out);
    return out;
  }

  const WritePlan& m_plan;
  std::uint32_t m_height;
  std::size_t m_rowBytes;
  int m_bytesPerPixel = 1;
  Filters m_filters = Filters::None;
  std::uint32_t m_stripRows = 1;
  std::uint32_t m_strips = 1;
};

// Strips encoded on workers, handed back in order to one consumer. Workers run at most a few
// strips ahead of the consumer, so memory stays bounded whatever the image's size.
class StripQueue {
public:
  StripQueue(const StripEncoder& encoder, unsigned threads)
      : m_encoder(encoder), m_ready(encoder.Strips()), m_ahead(2 * threads) {
    // Fewer threads than asked, or none, when the system gives no more (each takes a stack of
    // its address space): those it gives encode the strips, and Take does when it gives none.
    try {
      for (unsigned i = 0; i < threads; ++i) m_workers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
    }
  }
  ~StripQueue() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers) worker.join();
  }
  StripQueue(const StripQueue&) = delete;
  StripQueue& operator=(const StripQueue&) = delete;

  // Strip s, once encoded; raises what its worker raised. Without workers, encodes it here.
  StripEncoder::Strip Take(std::uint32_t s) {
    if (m_workers.empty()) return m_encoder.Encode(s);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_ready[s].done || m_error; });
    if (m_error) std::rethrow_exception(m_error);
    m_taken = s + 1;
    m_changed.notify_all();
    return std::move(m_ready[s].strip);
  }

private:
  struct Slot {
    StripEncoder::Strip strip;
    bool done = false;
  };

  void Work() {
    for (;;) {
      std::uint32_t s = 0;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stop || m_next < m_taken + m_ahead; });
        if (m_stop || m_error || m_next >= m_ready.size()) return;
        s = m_next++;
      }
      try {
        StripEncoder::Strip strip = m_encoder.Encode(s);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ready[s] = Slot{std::move(strip), true};
      } catch (...) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_error) m_error = std::current_exception();
      }
      m_changed.notify_all();
    }
  }

  const StripEncoder& m_encoder;
  std::vector<Slot> m_ready;
  std::uint32_t m_ahead;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::uint32_t m_next = 0;
  std::uint32_t m_taken = 0;
  bool m_stop = false;
  std::exception_ptr m_error;
  std::vector<std::thread> m_workers;
};

// The zlib header for deflate with a 32 KiB window, its check bits included; the level bits
// say how hard the compressor tried, as zlib itself sets them: "fastest" for runs alone, "fast"
// for the levels of the matches.
static_assert(kUnfiltered.level >= 2 && kUnfiltered.level < 6 && kMatches.level >= 2 &&
                  kMatches.level < 6,
              "zlib calls levels 2 to 5 fast");
void ZlibHeader(Compression how, std::uint8_t out[2]) {
  const unsigned levelBits = how.strategy == Z_RLE ? 0 : 1;
  const unsigned head = 0x78u << 8 | levelBits << 6;
  out[0] = 0x78;
  out[1] = static_cast<std::uint8_t>((head + 31 - head % 31) & 0xFF);
}

}  // namespace

const bool kEncodesSixteenBits = true;

void Encode(const WritePlan& plan, const qxio::TrImage& image, utl::CBufferedFile& file,
            qxio::CProgress& progress) {
  const auto width = static_cast<std::uint32_t>(image.GetWidth());
  const auto height = static_cast<std::uint32_t>(image.GetHeight());
  const std::uint64_t rowBytes = RowBytes(plan.form, width);
  if (rowBytes + 1 > UINT32_MAX / 2) throw PngError("the image's rows are too long for PNG here");
  static constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  file.Write(kSignature, sizeof kSignature);
  std::uint8_t header[13] = {};
  PutBe32(header, width);
  PutBe32(header + 4, height);
  header[8] = static_cast<std::uint8_t>(plan.bitDepth);
  header[9] = static_cast<std::uint8_t>(plan.colorType);
  WriteChunk(file, "IHDR", header, sizeof header);
  if (plan.paletteSize > 0) {
    std::uint8_t palette[3 * 256];
    for (int i = 0; i < plan.paletteSize; ++i) {
      palette[3 * i] = plan.palette[i].rgbRed;
      palette[3 * i + 1] = plan.palette[i].rgbGreen;
      palette[3 * i + 2] = plan.palette[i].rgbBlue;
    }
    WriteChunk(file, "PLTE", palette, 3 * static_cast<std::size_t>(plan.paletteSize));
  }

  const StripEncoder encoder(plan, width, height);
  // Strips go to workers only when a core beside this thread's is free for them (never for an
  // image of one strip); otherwise this thread encodes them itself.
  const utl::ExtraThreads extra(std::min(utl::Cores(), encoder.Strips()) - 1);
  StripQueue queue(encoder, extra.Count() > 0 ? extra.Count() + 1 : 0);
  std::uint8_t zlibHead[2];
  ZlibHeader(encoder.Method(), zlibHead);
  std::vector<std::uint8_t> pending(zlibHead, zlibHead + 2);
  uLong adler = 1;
  for (std::uint32_t s = 0; s < encoder.Strips(); ++s) {
    StripEncoder::Strip strip = queue.Take(s);
    adler = adler32_combine(adler, strip.adler, static_cast<z_off_t>(strip.rawBytes));
    pending.insert(pending.end(), strip.deflated.begin(), strip.deflated.end());
    if (s + 1 == encoder.Strips()) {
      std::uint8_t trailer[4];
      PutBe32(trailer, static_cast<std::uint32_t>(adler));
      pending.insert(pending.end(), trailer, trailer + 4);
    }
    for (std::size_t at = 0; at < pending.size(); at += kMaxChunk) {
      WriteChunk(file, "IDAT", pending.data() + at, std::min(kMaxChunk, pending.size() - at));
    }
    pending.clear();
    progress.Proportion(static_cast<double>(s + 1) / encoder.Strips());
  }
  WriteChunk(file, "IEND", nullptr, 0);
}

}  // namespace pngio
