// Inside the PNG module: the decisions that every backend (libpng and zlib, the Windows Imaging
// Component) shares, so that each gives the same pixels, and the two calls a backend provides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "qxio/manager.h"
#include "qxio/transport.h"
#include "utl/bufferedfile.h"
#include "utl/colorformat.h"

namespace pngio {

// What is wrong with a PNG, or why an image cannot become one, in the user's words: the
// filters raise it again as the host's error.
class PngError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Whether the file begins with the PNG signature; false when it cannot be read.
bool HasSignature(const std::wstring& path);

constexpr int kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6;  // colour types

// What a PNG holds: its header, its palette with the alpha of its tRNS chunk, and whether it
// has a tRNS chunk at all.
struct Kind {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int colorType = kRgb;
  int bitDepth = 8;
  bool interlaced = false;
  bool transparency = false;
  RGBQUAD palette[256] = {};
  std::uint8_t alpha[256] = {};
  unsigned paletteSize = 0;
};

// Reads the header and the chunks up to the first IDAT: colour type, depth, tRNS. Raises
// PngError, with what is wrong, for a file that is no PNG, a header that PNG does not allow
// (sizes, colour type, bit depth, methods) and a file without image data.
Kind ReadKind(utl::CBufferedFile& file);
// "grey", "RGB", "palette", "grey with alpha", "RGB with alpha"; null for another colour type.
const char* ColorTypeText(int colorType);

// The samples of a pixel of colorType: 3 for RGB, 2 for grey with alpha, 4 for RGB with alpha,
// else 1.
int Channels(int colorType);

// The bytes of one of the PNG's rows as the file holds them, its filter type not counted.
std::uint64_t FileRowBytes(const Kind& kind);

// Raises PngError when the file of fileBytes bytes cannot hold the image the header claims.
void CheckClaimedSize(const Kind& kind, std::int64_t fileBytes);

// The host format a PNG becomes: grey 1 -> Gray1, grey 2 and 4 -> Gray4, grey 8 and 16 ->
// Gray8; palette 1 -> Indexed1, 2 and 4 -> Indexed4, 8 -> Indexed8; RGB -> BGR24; an alpha
// channel or a tRNS chunk -> BGRA32.
utl::ColorFormat HostFormat(const Kind& kind);

// The message for a PNG whose samples lose precision on the way in; empty when none do.
std::string PrecisionNotice(const Kind& kind);

// A new image for the PNG, with its palette for the indexed formats.
qxio::TrImage NewImage(const Kind& kind, utl::ColorFormat format, qxio::CProgress& progress);

// Rows as a codec takes or gives them: samples of bits bits (1, 2, 4, 8 or 16) packed from
// the high bits of each byte; 8-bit colour as B,G,R(,A), 16-bit colour as R,G,B(,A); 16-bit
// samples little-endian.
enum class Samples { Grey, Index, Bgr, Bgra, Rgb16, Rgba16 };
struct RowForm {
  Samples samples;
  int bits;
};
std::size_t RowBytes(RowForm form, std::uint32_t width);

// Turns a decoder's rows into an image's.
class RowMapper {
public:
  RowMapper(RowForm from, utl::ColorFormat to, std::uint32_t width, const Kind& kind);
  bool Supported() const { return m_step != Step::None; }
  bool Direct() const { return m_step == Step::Copy; }  // the decoder may fill the image's rows
  void Map(const std::uint8_t* in, std::uint8_t* out) const;

private:
  enum class Step { None, Copy, Widen2, Reduce16, Expand };
  Step m_step = Step::None;
  RowForm m_from;
  std::uint32_t m_width;
  int m_channels = 1;
  const Kind& m_kind;
};

// How an image of at least one row and column (the export refuses others) goes out: the PNG's
// colour type and depth, its palette, and its rows.
class WritePlan {
public:
  // sixteenBits: whether the encoder takes 16-bit grey.
  WritePlan(const qxio::TrImage& image, bool sixteenBits);

  int colorType = kRgb;
  int bitDepth = 8;
  RGBQUAD palette[256] = {};
  int paletteSize = 0;
  RowForm form = {Samples::Bgr, 8};

  // Whether Row(y) is the image's own row; the rows are then contiguous in memory.
  bool Direct() const { return m_step == Step::Copy; }
  // Row y in form; scratch holds RowBytes(form, width) bytes.
  const std::uint8_t* Row(int y, std::uint8_t* scratch) const;

private:
  enum class Step { Copy, Repack, ThroughTable, DropFourth, Reduce16, Convert };
  const qxio::TrImage& m_image;
  Step m_step = Step::Copy;
  bool m_reversed = false;  // Repack: 1-bit indices become the other level
};

// A backend: decodes the PNG at path into the nearest host colour format (see HostFormat;
// progress already begun), with the manager's pixel limit; notice receives a sentence when
// samples lose precision. Encodes plan's rows into file.
qxio::TrImage Decode(const std::wstring& path, qxio::CProgress& progress, std::string* notice);
void Encode(const WritePlan& plan, const qxio::TrImage& image, utl::CBufferedFile& file,
            qxio::CProgress& progress);
// Whether the backend's encoder takes 16-bit grey rows.
extern const bool kEncodesSixteenBits;

}  // namespace pngio
