#include "runlength.h"

#include <algorithm>
#include <cstddef>

#include "sunraster.h"

namespace vemra {

namespace {

// Three copies cost three bytes either way; left as literals, they read the same in a decoder
// that handles no run at all.
constexpr std::size_t kShortestRun = 4;

// Puts count (1 .. 256) copies of value.
std::uint8_t* PutCopies(std::uint8_t value, std::size_t count, std::uint8_t* out) {
  if (value == kRunEscape && count == 1) {
    *out++ = kRunEscape;
    *out++ = 0;
  } else if (value == kRunEscape || count >= kShortestRun) {
    *out++ = kRunEscape;
    *out++ = static_cast<std::uint8_t>(count - 1);
    *out++ = value;
  } else {
    out = std::fill_n(out, count, value);
  }
  return out;
}

// Where the bytes from in on stop being copied as they are: at the first 0x80 byte, or at the
// first of four or more equal bytes.
const std::uint8_t* LiteralsEnd(const std::uint8_t* in, const std::uint8_t* const end) {
  for (; in != end; ++in) {
    if (*in == kRunEscape) return in;
    if (end - in >= std::ptrdiff_t{kShortestRun} && in[1] == in[0] && in[2] == in[0] &&
        in[3] == in[0]) {
      return in;
    }
  }
  return end;
}

}  // namespace

std::size_t EncodeRunLength(const std::uint8_t* in, std::size_t n, std::uint8_t* out) {
  std::uint8_t* const start = out;
  const std::uint8_t* const end = in + n;
  while (in != end) {
    const std::uint8_t* const literalsEnd = LiteralsEnd(in, end);
    out = std::copy(in, literalsEnd, out);
    in = literalsEnd;
    if (in == end) break;
    const std::uint8_t value = *in;
    const std::uint8_t* const runEnd =
        std::find_if(in, end, [value](std::uint8_t byte) { return byte != value; });
    for (auto left = static_cast<std::size_t>(runEnd - in); left > 0;) {
      const std::size_t count = std::min<std::size_t>(left, kMaxRunDecodedBytes);
      out = PutCopies(value, count, out);
      left -= count;
    }
    in = runEnd;
  }
  return static_cast<std::size_t>(out - start);
}

}  // namespace vemra
