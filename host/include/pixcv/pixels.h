// Small pixel helpers that the plug-in and hosts share: rows of packed pixels and grey entries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "utl/rgbquad.h"

namespace pixcv {

// The bytes that width pixels of bitsPerPixel bits fill, packed, without padding.
constexpr std::uint64_t PackedRowBytes(std::uint64_t width, std::uint64_t bitsPerPixel) {
  return (width * bitsPerPixel + 7) / 8;
}

// Pixel x of a row of packed pixels of bits bits (1, 2, 4 or 8), high bits first.
constexpr unsigned PackedSample(const std::uint8_t* row, std::size_t x, int bits) {
  const std::size_t bit = x * static_cast<std::size_t>(bits);
  const int shift = 8 - bits - static_cast<int>(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

// Whether a colour-table entry is grey: red, green and blue alike.
constexpr bool IsGrey(const RGBQUAD& entry) {
  return entry.rgbRed == entry.rgbGreen && entry.rgbGreen == entry.rgbBlue;
}

// Whether a colour-table entry is the grey of the given level (0 black, 255 white).
constexpr bool IsGreyLevel(const RGBQUAD& entry, int level) {
  return IsGrey(entry) && entry.rgbRed == level;
}

}  // namespace pixcv
