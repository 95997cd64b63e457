// PNG files as host images, through libpng.
#pragma once

#include <string>

#include "qxio/manager.h"
#include "qxio/transport.h"

namespace qxhost {

// False when this qxhost was built without libpng; ReadPng and WritePng then raise Failure.
bool PngSupported();

// Whether the file begins with the PNG signature; needs no libpng.
bool HasPngSignature(const std::wstring& path);

// Reads a PNG into the nearest host colour format: grey of 1, 2-4 and 8-16 bits as Gray1,
// Gray4 and Gray8; palette of 1, 2-4 and 8 bits as Indexed1, Indexed4 and Indexed8 with its
// palette; RGB as BGR24; RGBA and grey+alpha as BGRA32. 16-bit channels become 8-bit and
// tRNS is ignored. The manager's pixel limit applies. Raises Failure or the host's error.
qxio::TrImage ReadPng(const std::wstring& path, qxio::IoManager& manager);

// Writes indexed images as palette PNGs of their bit depth with their colour table, grey
// images as grey PNGs and all others as 8-bit RGB. The file appears only when complete.
void WritePng(const qxio::TrImage& image, const std::wstring& path, qxio::IoManager& manager);

}  // namespace qxhost
