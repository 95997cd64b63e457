// The fixed 100-byte record by which a filter identifies itself to the host.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qxio {

enum FilterKind : std::uint32_t { FilterKindImport = 1, FilterKindExport = 2 };

// All integers little-endian; moduleName is UTF-16, NUL-padded.
struct FilterDescriptor {
  char marker[12];           // "$QXIO_FILT$" and one NUL
  std::uint32_t recordSize;  // 100
  char16_t moduleName[40];   // the plug-in's short module name
  std::uint32_t kind;        // FilterKind
};

static_assert(sizeof(FilterDescriptor) == 100, "the descriptor is a 100-byte record");
static_assert(offsetof(FilterDescriptor, recordSize) == 12, "descriptor layout");
static_assert(offsetof(FilterDescriptor, moduleName) == 16, "descriptor layout");
static_assert(offsetof(FilterDescriptor, kind) == 96, "descriptor layout");

}  // namespace qxio
