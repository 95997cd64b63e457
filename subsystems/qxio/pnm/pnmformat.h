// Inside the PNM module: the header as netpbm reads it, the raster of each kind in the host's
// colour formats, and the kind an image is written as.
#pragma once

#include <stdexcept>
#include <string>

#include "qxio/manager.h"
#include "qxio/transport.h"
#include "utl/bufferedfile.h"
#include "utl/colorformat.h"
#include "utl/error.h"

namespace pnmio {

// What is wrong with a PNM file, in the user's words, and how the host classes it:
// UnknownFormat for a file of another kind, UnexpectedEof for data that ends before the image,
// FileRead for anything else that netpbm refuses. The filters raise it again as the host's error.
class PnmError : public std::runtime_error {
public:
  PnmError(utl::ErrorKind kind, const std::string& reason)
      : std::runtime_error(reason), m_kind(kind) {}
  utl::ErrorKind Kind() const { return m_kind; }

private:
  utl::ErrorKind m_kind;
};

// Whether the file begins with one of netpbm's magic numbers, P1 to P7, and whitespace or a
// comment; false when it cannot be read. PAM (P7) is recognised only to be refused by name.
bool HasMagic(const std::wstring& path);

struct Header {
  char magic = '6';     // '1' to '6': P1-P3 plain (decimal text), P4-P6 raw (binary)
  int width = 0;        // 1 to 2^31 - 1
  int height = 0;       // 1 to 2^31 - 1
  unsigned maxval = 1;  // 1 to 65535; 1 for PBM, whose 1 is black

  bool Plain() const { return magic <= '3'; }
  bool Bitmap() const { return magic == '1' || magic == '4'; }
  int Channels() const { return magic == '3' || magic == '6' ? 3 : 1; }
};

// Reads the header up to and including the one character that ends its last number, as netpbm
// does. Raises PnmError for another magic number, a field that is missing or not a number, a
// width or height of 0 or past 2^31 - 1, or a maxval of 0 or past 65535.
Header ReadHeader(utl::CBufferedFile& file);

// "PBM", "PGM" or "PPM".
const char* KindName(const Header& header);
// Gray1 for PBM, Gray8 for PGM, BGR24 for PPM.
utl::ColorFormat HostFormat(const Header& header);
// The warning for samples that lose precision on the way in; empty when none do.
std::string PrecisionNotice(const Header& header);

// Reads the raster after the header into a new image of HostFormat, within the pixel limit of
// progress's manager; samples are scaled from maxval to 255, rounded to the nearest. Raises
// PnmError when the file cannot hold the raster the header claims (before anything is
// allocated), when it ends early, for junk in a plain raster, and for a sample past maxval.
qxio::TrImage ReadImage(const Header& header, utl::CBufferedFile& file, qxio::CProgress& progress);

// Writes image as the kind that fits it, at maxval 255: P4 for black and white (Gray1, or
// Indexed1 whose two entries are black and white), P5 for grey (the Gray formats, or an indexed
// image whose pixels all name grey entries), P6 for the rest, alpha dropped. The image has at
// least one row and one column.
void WriteImage(const qxio::TrImage& image, utl::CBufferedFile& file, qxio::CProgress& progress);

}  // namespace pnmio
