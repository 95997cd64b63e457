#include "utl/byteswap.h"

#include <algorithm>
#include <cstdint>

namespace utl {

void ByteSwap(void* p, std::size_t n) {
  auto* bytes = static_cast<std::uint8_t*>(p);
  std::reverse(bytes, bytes + n);
}

}  // namespace utl
