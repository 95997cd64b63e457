#pragma once

#include <cstddef>

#include "utl/api.h"

namespace utl {

// Reverses n bytes in place.
QXIO_API void ByteSwap(void* p, std::size_t n);

}  // namespace utl
