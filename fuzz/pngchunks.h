// What the PNG fuzz targets share: the file with its chunks' CRCs made right. libpng refuses a
// header or image data whose CRC is wrong before looking further, and the fuzzer cannot compute
// CRCs, so without this almost every mutation would end at the first check.
#pragma once

#include <cstdint>

#include "support.h"

namespace vemra::test {

// Every whole chunk after the signature gets the CRC of its type and data; a chunk that runs
// past the end, and what follows it, stay as they are.
inline Bytes WithChunkCrcs(Bytes file) {
  for (std::size_t at = 8; at + 12 <= file.size() && Be32(file, at) <= file.size() - at - 12;) {
    const std::size_t end = at + 8 + Be32(file, at);
    std::uint32_t crc = ~0u;
    for (std::size_t i = at + 4; i < end; ++i) {
      crc ^= file[i];
      for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    for (int i = 0; i < 4; ++i) file[end + i] = std::uint8_t(~crc >> (24 - 8 * i));
    at = end + 4;
  }
  return file;
}

}  // namespace vemra::test
