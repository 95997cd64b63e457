// The direct way through a PNG's image data, beside libpng's row by row: the IDAT chunks read
// and checked here, their zlib stream inflated by libdeflate in one call, the rows unfiltered
// (pngrows.h) straight into the image. libpng has read the header and the chunks before the
// image data by then; it reads the image data too wherever this way does not go.
#pragma once

#include <string>

#include "pngformat.h"

namespace pngio {

// Whether the direct way takes images of kind: not interlaced, and palette (tRNS or not), grey
// and RGB without tRNS, or RGB with alpha, at any depth.
bool DirectKind(const Kind& kind);

// Reads the image data of the PNG at path into image, made by NewImage for kind in its host
// format (HostFormat) after libpng read the header, with progress. Returns false, with the image
// and the progress untouched, wherever libpng may see something wrong, so that it reads the file
// and says what: a chunk cut short, an IDAT or IEND chunk with a wrong CRC, a zlib stream that
// does not hold exactly the rows, or whose window is smaller than they are, an unknown filter
// type, after the image data a critical chunk other than IEND or a type not in letters; and for
// more rows than this way holds in memory at once.
bool DecodeDirect(const std::wstring& path, const Kind& kind, qxio::TrImage& image,
                  qxio::CProgress& progress);

// The backend's ways through the image data, for tests that compare them: Decode takes Any, the
// direct way where it can, libpng's otherwise; Libpng goes through libpng alone; Direct through
// the direct way alone, raising PngError for a file that it does not take (for every file in a
// build without libdeflate).
enum class Route { Any, Libpng, Direct };
qxio::TrImage DecodeBy(Route route, const std::wstring& path, qxio::CProgress& progress,
                       std::string* notice);

}  // namespace pngio
