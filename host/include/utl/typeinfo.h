// Type identities of transport objects: compared by address, one per class, all in the host library.
#pragma once

#include "utl/api.h"

namespace utl {

class QXIO_API CTypeInfo {
public:
  explicit constexpr CTypeInfo(const char* name) : m_name(name) {}
  CTypeInfo(const CTypeInfo&) = delete;
  CTypeInfo& operator=(const CTypeInfo&) = delete;

  const char* Name() const { return m_name; }

private:
  const char* m_name;
};

}  // namespace utl
