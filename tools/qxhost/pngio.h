// PNG files as host images: through libpng on Linux, through the Windows Imaging Component on
// Windows, with the same pixels either way.
#pragma once

#include <string>

#include "qxio/manager.h"
#include "qxio/transport.h"

namespace qxhost {

// False when this qxhost was built without a PNG codec; ReadPng and WritePng then raise Failure.
bool PngSupported();

// Whether the file begins with the PNG signature; needs no codec.
bool HasPngSignature(const std::wstring& path);

// Reads a PNG into the nearest host colour format: grey of 1, 2-4 and 8-16 bits as Gray1,
// Gray4 and Gray8; palette of 1, 2-4 and 8 bits as Indexed1, Indexed4 and Indexed8 with its
// palette; RGB as BGR24; an alpha channel or a tRNS chunk (on a palette, grey or RGB image)
// as BGRA32 with the alpha in the fourth byte. 16-bit samples become 8-bit ones; notice, when
// given, then receives a sentence that says so (empty otherwise). The manager's pixel limit
// applies. Raises Failure or the host's error.
qxio::TrImage ReadPng(const std::wstring& path, qxio::IoManager& manager,
                      std::string* notice = nullptr);

// Writes grey images as grey PNGs of their depth; indexed images whose used colour-table
// entries are grey as grey PNGs (of 1, 4 or 8 bits when the entries are that depth's grey
// scale, else of 8 bits with the entries' levels), others as palette PNGs; BGRA32 as RGBA when
// its fourth bytes differ, else as RGB; all others as 8-bit RGB. An image of no rows or no
// columns is refused. The file appears only when complete.
void WritePng(const qxio::TrImage& image, const std::wstring& path, qxio::IoManager& manager);

}  // namespace qxhost
