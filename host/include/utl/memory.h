// Hints for large buffers that are filled once, whole.
#pragma once

#include <cstddef>

#include "utl/api.h"

namespace utl {

// Asks the system to back the 2 MiB pages that lie whole within [memory, memory + bytes) with
// huge pages: filling many megabytes would otherwise fault once per 4 KiB page. Only a hint,
// ignored where the system has no huge pages; the memory's content stays as it is.
QXIO_API void AdviseHugePages(void* memory, std::size_t bytes);

}  // namespace utl
