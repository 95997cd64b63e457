// Builds Sun raster files byte by byte, so tests can state exactly what a file holds.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "testfiles.h"

namespace vemra::test {

struct HeaderFields {
  std::uint32_t magic = 0x59A66A95;
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  std::uint32_t depth = 8;
  std::uint32_t length = 0;
  std::uint32_t type = 1;
  std::uint32_t maptype = 0;
  std::uint32_t maplength = 0;
};

// The 32 header bytes, big-endian.
Bytes HeaderBytes(const HeaderFields& fields);

// Appends big-endian 32-bit words or raw bytes.
void AppendBe32(Bytes& out, std::uint32_t value);
void Append(Bytes& out, std::initializer_list<int> bytes);
void Append(Bytes& out, const Bytes& bytes);

// Run-length encodes data the way the format's writers do (runs of 3 or more, and every
// literal 0x80, as escapes).
Bytes EncodeRuns(const Bytes& data);

}  // namespace vemra::test
