// The predictors of PNG's row filters, which the decoder's unfiltering and the encoder's trial
// of filters share: both must predict exactly as PNG does, so the two sides compute it once. One
// byte at a time everywhere, and in SSE2 on x86-64.
#pragma once

#include <cstdlib>

namespace pngio {

// Paeth's predictor of a byte from its left (a), upper (b) and upper left (c) neighbours.
inline int Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace pngio

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PNGIO_X86 1
#include <immintrin.h>

// Inlined into SSE2 code and into functions built for AVX2 alike.
#define PNGIO_INLINE inline __attribute__((always_inline))

namespace pngio::simd {

PNGIO_INLINE __m128i Abs16(__m128i v) {
  return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

PNGIO_INLINE __m128i Choose(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Paeth's predictor of 16-bit lanes holding bytes: a left, b above, c upper left.
// p = a + b - c: p - a = b - c, p - b = a - c, p - c = both together.
PNGIO_INLINE __m128i Paeth16(__m128i a, __m128i b, __m128i c) {
  const __m128i toA = _mm_sub_epi16(b, c), toB = _mm_sub_epi16(a, c);
  const __m128i pa = Abs16(toA), pb = Abs16(toB), pc = Abs16(_mm_add_epi16(toA, toB));
  const __m128i least = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
  return Choose(_mm_cmpeq_epi16(pa, least), a, Choose(_mm_cmpeq_epi16(pb, least), b, c));
}

// Average's predictor of bytes: avg_epu8 rounds up, PNG's average rounds down.
PNGIO_INLINE __m128i Average8(__m128i a, __m128i b) {
  return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

}  // namespace pngio::simd

#endif
