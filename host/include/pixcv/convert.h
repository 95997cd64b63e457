// Pixel-format conversion of single rows.
#pragma once

#include "utl/api.h"
#include "utl/colorformat.h"
#include "utl/rgbquad.h"

namespace pixcv {

// Converts width pixels of one row from one colour format to another. Every host format
// converts to BGR24; indexed formats need the palette. Returns false, writing nothing, for
// a conversion it cannot make. reserved and flag are for the host's other callers.
QXIO_API bool SimplePixelConvert(int width, const void* src, utl::ColorFormat from, void* dst,
                                 utl::ColorFormat to, int reserved, const RGBQUAD* palette,
                                 bool flag);

}  // namespace pixcv
