// Type identities of transport objects: compared by address, one per class, all in the host
// library.
#pragma once

#include "utl/api.h"

namespace utl {

class QXIO_API CTypeInfo {
public:
  constexpr CTypeInfo() = default;
  CTypeInfo(const CTypeInfo&) = delete;
  CTypeInfo& operator=(const CTypeInfo&) = delete;
};

}  // namespace utl
