// Helpers shared by the host library's tests.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "utl/error.h"

namespace vemra::test {

// Bytes that do not repeat with any short period, so a misplaced block shows.
inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bytes) b = static_cast<std::uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  return bytes;
}

// The host error that f raises, or nothing when it returns.
template <class F>
std::optional<utl::CError> Raised(F&& f) {
  try {
    f();
  } catch (const utl::CError& error) {
    return error;
  }
  return std::nullopt;
}

}  // namespace vemra::test
