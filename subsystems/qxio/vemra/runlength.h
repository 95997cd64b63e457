// The run-length encoding of the format's byte-encoded type, as the writer produces it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vemra {

// The most bytes that n input bytes encode to: a lone 0x80 takes two bytes, every other byte
// at most one.
constexpr std::size_t MaxRunLengthEncodedSize(std::size_t n) {
  return 2 * n;
}

// Encodes the n bytes at in into out, which has room for MaxRunLengthEncodedSize(n) bytes, and
// returns the number of bytes written. Four or more equal bytes, and two or more 0x80 bytes,
// become runs (0x80, count - 1, value) of at most 256; a lone 0x80 becomes 0x80 0x00; the rest
// is copied. No run reaches past the n bytes, so the output of each call decodes on its own to
// exactly its input, and concatenated outputs decode to the concatenated inputs.
std::size_t EncodeRunLength(const std::uint8_t* in, std::size_t n, std::uint8_t* out);

}  // namespace vemra
