#include "pngrows.h"

#include <cstring>

#include "pngpredictors.h"

namespace pngio {

namespace {

void UnfilterPortable(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t n,
                      std::size_t bpp) {
  switch (type) {
    case 1:
      for (std::size_t i = bpp; i < n; ++i) row[i] = std::uint8_t(row[i] + row[i - bpp]);
      break;
    case 2:
      for (std::size_t i = 0; i < n; ++i) row[i] = std::uint8_t(row[i] + prior[i]);
      break;
    case 3:
      for (std::size_t i = 0; i < bpp; ++i) row[i] = std::uint8_t(row[i] + (prior[i] >> 1));
      for (std::size_t i = bpp; i < n; ++i) {
        row[i] = std::uint8_t(row[i] + ((row[i - bpp] + prior[i]) >> 1));
      }
      break;
    case 4:
      // Left of the first pixel both neighbours are zero: Paeth gives the byte above.
      for (std::size_t i = 0; i < bpp; ++i) row[i] = std::uint8_t(row[i] + prior[i]);
      for (std::size_t i = bpp; i < n; ++i) {
        row[i] = std::uint8_t(row[i] + Paeth(row[i - bpp], prior[i], prior[i - bpp]));
      }
      break;
    default: break;
  }
}

void SwapRedBluePortable(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels,
                         unsigned channels) {
  for (std::size_t x = 0; x < pixels; ++x, in += channels, out += channels) {
    out[0] = in[2], out[1] = in[1], out[2] = in[0];
    if (channels == 4) out[3] = in[3];
  }
}

#if defined(PNGIO_X86)

// Sub, Average and Paeth take their left neighbour from the pixel just decoded, so a row goes
// pixel by pixel: one pixel of 3, 4, 6 or 8 bytes in the low lanes of a register, Paeth's
// arithmetic on 16-bit lanes. The same code, inlined, makes the SSE2 and the AVX2 versions.

// A pixel's bytes to and from a register's low lanes, through general registers: copied through
// memory, the bytes would be stored in pieces and loaded whole, which stalls every pixel.
template <unsigned Bpp>
PNGIO_INLINE __m128i LoadPixel(const std::uint8_t* p) {
  std::uint32_t low = 0, high = 0;
  std::memcpy(&low, p, Bpp == 3 ? 2 : 4);
  if constexpr (Bpp == 3) low |= std::uint32_t{p[2]} << 16;
  if constexpr (Bpp > 4) std::memcpy(&high, p + 4, Bpp - 4);
  return _mm_cvtsi64_si128(static_cast<long long>(std::uint64_t{high} << 32 | low));
}

template <unsigned Bpp>
PNGIO_INLINE void StorePixel(std::uint8_t* p, __m128i v) {
  const auto bytes = static_cast<std::uint64_t>(_mm_cvtsi128_si64(v));
  const auto low = static_cast<std::uint32_t>(bytes),
             high = static_cast<std::uint32_t>(bytes >> 32);
  std::memcpy(p, &low, Bpp == 3 ? 2 : 4);
  if constexpr (Bpp == 3) p[2] = static_cast<std::uint8_t>(low >> 16);
  if constexpr (Bpp > 4) std::memcpy(p + 4, &high, Bpp - 4);
}

template <unsigned Bpp>
PNGIO_INLINE void SubPixels(std::uint8_t* row, std::size_t n) {
  __m128i a = _mm_setzero_si128();
  for (std::size_t i = 0; i < n; i += Bpp) {
    a = _mm_add_epi8(a, LoadPixel<Bpp>(row + i));
    StorePixel<Bpp>(row + i, a);
  }
}

template <unsigned Bpp>
PNGIO_INLINE void AveragePixels(std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  __m128i a = _mm_setzero_si128();
  for (std::size_t i = 0; i < n; i += Bpp) {
    a = _mm_add_epi8(simd::Average8(a, LoadPixel<Bpp>(prior + i)), LoadPixel<Bpp>(row + i));
    StorePixel<Bpp>(row + i, a);
  }
}

template <unsigned Bpp>
PNGIO_INLINE void PaethPixels(std::uint8_t* row, const std::uint8_t* prior, std::size_t n) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero, c = zero;  // left and upper left, as 16-bit lanes
  for (std::size_t i = 0; i < n; i += Bpp) {
    const __m128i b = _mm_unpacklo_epi8(LoadPixel<Bpp>(prior + i), zero);
    const __m128i nearest = simd::Paeth16(a, b, c);
    const __m128i bytes = _mm_add_epi8(_mm_packus_epi16(nearest, nearest), LoadPixel<Bpp>(row + i));
    StorePixel<Bpp>(row + i, bytes);
    a = _mm_unpacklo_epi8(bytes, zero);
    c = b;
  }
}

template <unsigned Bpp>
PNGIO_INLINE void PixelFilter(int type, std::uint8_t* row, const std::uint8_t* prior,
                              std::size_t n) {
  if (type == 1) SubPixels<Bpp>(row, n);
  if (type == 3) AveragePixels<Bpp>(row, prior, n);
  if (type == 4) PaethPixels<Bpp>(row, prior, n);
}

// Sub, Average and Paeth of pixels that fill a register's lanes; false for other sizes.
PNGIO_INLINE bool FilterByPixel(int type, std::uint8_t* row, const std::uint8_t* prior,
                                std::size_t n, std::size_t bpp) {
  switch (bpp) {
    case 3: PixelFilter<3>(type, row, prior, n); return true;
    case 4: PixelFilter<4>(type, row, prior, n); return true;
    case 6: PixelFilter<6>(type, row, prior, n); return true;
    case 8: PixelFilter<8>(type, row, prior, n); return true;
    default: return false;
  }
}

// Up adds the row above byte by byte: 16 bytes at a time.
PNGIO_INLINE std::size_t Up16(std::uint8_t* row, const std::uint8_t* prior, std::size_t n,
                              std::size_t i) {
  for (; i + 16 <= n; i += 16) {
    const __m128i sum = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(prior + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), sum);
  }
  return i;
}

void UnfilterSse2(int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t n,
                  std::size_t bpp) {
  if (type == 2) {
    const std::size_t done = Up16(row, prior, n, 0);
    UnfilterPortable(2, row + done, prior + done, n - done, bpp);
  } else if (type == 0 || !FilterByPixel(type, row, prior, n, bpp)) {
    UnfilterPortable(type, row, prior, n, bpp);
  }
}

// Pixels of 4 bytes: R and B exchanged within each 32-bit lane by shifts.
void SwapRedBlue4Sse2(const std::uint8_t* in, std::uint8_t* out, std::size_t pixels) {
  const __m128i keep = _mm_set1_epi32(int(0xFF00FF00u)), low = _mm_set1_epi32(0xFF);
  std::size_t x = 0;
  for (; x + 4 <= pixels; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * x));
    const __m128i swapped = _mm_or_si128(_mm_and_si128(v, keep),
                                         _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), low),
                                                      _mm_slli_epi32(_mm_and_si128(v, low), 16)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), swapped);
  }
  SwapRedBluePortable(in + 4 * x, out + 4 * x, pixels - x, 4);
}

[[gnu::target("avx2")]] void UnfilterAvx2(int type, std::uint8_t* row, const std::uint8_t* prior,
                                          std::size_t n, std::size_t bpp) {
  if (type == 2) {
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
      const __m256i sum =
          _mm256_add_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prior + i)));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + i), sum);
    }
    i = Up16(row, prior, n, i);
    UnfilterPortable(2, row + i, prior + i, n - i, bpp);
  } else if (type == 0 || !FilterByPixel(type, row, prior, n, bpp)) {
    UnfilterPortable(type, row, prior, n, bpp);
  }
}

// One byte shuffle swaps 5 pixels of 3 bytes (or 8 of 4), within each 16-byte half: each step
// stores 16 bytes of which the next step rewrites the one past its pixels.
[[gnu::target("avx2")]] void SwapRedBlueAvx2(const std::uint8_t* in, std::uint8_t* out,
                                             std::size_t pixels, unsigned channels) {
  std::size_t x = 0;
  if (channels == 3) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    for (; x + 6 <= pixels; x += 5) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(v, order));
    }
  } else {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2,
                                           1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    for (; x + 8 <= pixels; x += 8) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * x));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), _mm256_shuffle_epi8(v, order));
    }
  }
  SwapRedBluePortable(in + channels * x, out + channels * x, pixels - x, channels);
}

#endif  // PNGIO_X86

}  // namespace

bool Runs(Isa isa) {
  switch (isa) {
    case Isa::Portable: return true;
#if defined(PNGIO_X86)
    case Isa::Sse2: return true;
    case Isa::Avx2: return __builtin_cpu_supports("avx2") != 0;
#endif
    default: return false;
  }
}

Isa BestIsa() {
  static const Isa best = Runs(Isa::Avx2) ? Isa::Avx2 : Runs(Isa::Sse2) ? Isa::Sse2 : Isa::Portable;
  return best;
}

void Unfilter(Isa isa, int type, std::uint8_t* row, const std::uint8_t* prior, std::size_t bytes,
              unsigned bpp) {
  switch (isa) {
#if defined(PNGIO_X86)
    case Isa::Sse2: UnfilterSse2(type, row, prior, bytes, bpp); return;
    case Isa::Avx2: UnfilterAvx2(type, row, prior, bytes, bpp); return;
#endif
    default: UnfilterPortable(type, row, prior, bytes, bpp); return;
  }
}

void SwapRedBlue(Isa isa, const std::uint8_t* in, std::uint8_t* out, std::size_t pixels,
                 unsigned channels) {
  switch (isa) {
#if defined(PNGIO_X86)
    case Isa::Sse2:
      if (channels == 4) return SwapRedBlue4Sse2(in, out, pixels);
      break;
    case Isa::Avx2: return SwapRedBlueAvx2(in, out, pixels, channels);
#endif
    default: break;
  }
  SwapRedBluePortable(in, out, pixels, channels);
}

}  // namespace pngio
