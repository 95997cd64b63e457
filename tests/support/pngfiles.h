// What the PNG tests and fuzz targets share: the file with its chunks' CRCs made right, and the
// decoder's two ways (directdecoder.h) held to each other.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "support.h"
#if !defined(_WIN32)
#include "directdecoder.h"
#endif

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

#if !defined(_WIN32)
struct Decoded {
  std::unique_ptr<qxio::TrImage> image;
  std::string error;  // the reason the way refused the file
};

inline Decoded DecodeBy(pngio::Route route, const std::wstring& path,
                        std::uint64_t maxPixels = qxio::IoManager::kDefaultMaxPixels) {
  TestManager manager;
  manager.SetMaxPixels(maxPixels);
  qxio::CProgress progress(&manager);
  std::string notice;
  Decoded decoded;
  try {
    decoded.image =
        std::make_unique<qxio::TrImage>(pngio::DecodeBy(route, path, progress, &notice));
  } catch (const std::exception& error) {
    decoded.error = error.what();
  }
  return decoded;
}

// The same colour format, size, colour table and rows.
inline bool SameImage(const qxio::TrImage& a, const qxio::TrImage& b) {
  RGBQUAD tables[2][256];
  a.GetColorTable(tables[0], 0, 256);
  b.GetColorTable(tables[1], 0, 256);
  bool same = a.GetColorFormat() == b.GetColorFormat() && a.GetWidth() == b.GetWidth() &&
              a.GetHeight() == b.GetHeight() &&
              a.GetNumColorTableEntriesUsed() == b.GetNumColorTableEntriesUsed() &&
              std::memcmp(tables[0], tables[1], sizeof tables[0]) == 0;
  for (int y = 0; same && y < a.GetHeight(); ++y) {
    same = std::memcmp(a.Row(y), b.Row(y), a.RowBytes()) == 0;
  }
  return same;
}
#endif

}  // namespace vemra::test
