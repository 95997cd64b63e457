#include "pngio.h"

#include <cstring>
#include <string>
#include <vector>

#include "failure.h"
#include "utl/bufferedfile.h"
#include "utl/path.h"

#if defined(QXHOST_HAVE_PNG)
#  include <csetjmp>
#  include <cstdio>
#  include <exception>
#  include <new>

#  include <png.h>

#  include "pixcv/convert.h"
#  include "utl/colorformat.h"
#  include "utl/safesave.h"
#  include "utl/text.h"
#endif

namespace qxhost {

namespace {

constexpr unsigned char kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

}  // namespace

bool HasPngSignature(const std::wstring& path) {
  utl::CBufferedFile file;
  if (!file.OpenNoThrow(path, "rb", utl::ShareRead, false)) return false;
  unsigned char start[sizeof kPngSignature];
  return file.Read(start, sizeof start) == sizeof start &&
         std::memcmp(start, kPngSignature, sizeof start) == 0;
}

#if !defined(QXHOST_HAVE_PNG)

namespace {
constexpr const char* kNoPng = "PNG support is not built into this qxhost";
}

bool PngSupported() { return false; }

qxio::TrImage ReadPng(const std::wstring& /*path*/, qxio::IoManager& /*manager*/) {
  throw Failure(kNoPng);
}

void WritePng(const qxio::TrImage& /*image*/, const std::wstring& /*path*/,
              qxio::IoManager& /*manager*/) {
  throw Failure(kNoPng);
}

#else

// libpng's row-by-row API, not its simplified one (png_image_*): that one decodes or encodes a
// whole image in one call, so progress would stand still (1.4 s to read and 38 s to write an
// 8192 x 8192 RGB file); it converts pixels from the file's gamma to sRGB and flattens tRNS
// transparency onto black; and it writes grey only at 8 and 16 bits, with a colour-space chunk.

namespace {

// Deflate expands data at most about 1032 times; a PNG that claims more pixels than its
// size can hold is refused before anything is allocated for it.
constexpr double kMaxInflateRatio = 1100.0;

// One libpng read or write over a host file. libpng leaves its callers by longjmp, so C++
// exceptions never cross it: a callback keeps the file's error, raised again once libpng has
// returned, and Run's steps hold only trivially destructible objects of their own.
class PngStream {
public:
  PngStream(utl::CBufferedFile& file, bool writing) : m_file(file), m_writing(writing) {
    png = writing ? png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning)
                  : png_create_read_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
    if (png) info = png_create_info_struct(png);
    if (!info) {
      Destroy();
      throw std::bad_alloc();
    }
    if (writing) {
      png_set_write_fn(png, this, OnWrite, OnFlush);
    } else {
      png_set_read_fn(png, this, OnRead);
    }
  }
  ~PngStream() { Destroy(); }
  PngStream(const PngStream&) = delete;
  PngStream& operator=(const PngStream&) = delete;

  // Runs step; false when libpng gave up inside it.
  template <class Step>
  bool Run(Step&& step) {
    if (setjmp(png_jmpbuf(png))) return false;
    step();
    return true;
  }

  // After Run gave false: the file's own error, or libpng's words after what.
  [[noreturn]] void Fail(const char* what) const {
    if (m_fileError) std::rethrow_exception(m_fileError);
    throw Failure(std::string(what) + ": " + m_message);
  }

  png_structp png = nullptr;
  png_infop info = nullptr;

private:
  void Destroy() {
    if (m_writing) {
      png_destroy_write_struct(&png, &info);
    } else {
      png_destroy_read_struct(&png, &info, nullptr);
    }
  }

  static PngStream& Of(png_structp png) { return *static_cast<PngStream*>(png_get_io_ptr(png)); }

  [[noreturn]] static void OnError(png_structp png, png_const_charp text) {
    auto* stream = static_cast<PngStream*>(png_get_error_ptr(png));
    std::snprintf(stream->m_message, sizeof stream->m_message, "%s", text);
    png_longjmp(png, 1);
  }
  static void OnWarning(png_structp /*png*/, png_const_charp /*text*/) {}

  static void OnRead(png_structp png, png_bytep data, std::size_t size) {
    PngStream& stream = Of(png);
    bool complete = false;
    try {
      complete = stream.m_file.Read(data, size) == size;
    } catch (...) {
      stream.m_fileError = std::current_exception();
    }
    if (!complete) png_error(png, stream.m_fileError ? "read error" : "the file ends early");
  }

  static void OnWrite(png_structp png, png_bytep data, std::size_t size) {
    PngStream& stream = Of(png);
    try {
      stream.m_file.Write(data, size);
      return;
    } catch (...) {
      stream.m_fileError = std::current_exception();
    }
    png_error(png, "write error");
  }
  static void OnFlush(png_structp /*png*/) {}

  utl::CBufferedFile& m_file;
  bool m_writing;
  std::exception_ptr m_fileError;
  char m_message[256] = "";
};

// How a PNG's rows become a host image's.
struct ReadPlan {
  utl::ColorFormat format = utl::ColorFormatUnknown;
  RGBQUAD palette[256] = {};
  unsigned paletteSize = 0;
  bool widen2 = false;  // 2-bit values come one a byte from libpng and become 4-bit ones here
  int scale2 = 1;       // and are multiplied by this: 2-bit grey levels times 5 are 4-bit ones
};

// Grey and palette images keep their depth, except that 2 bits widen to 4; RGB becomes
// BGR24, grey+alpha and RGBA become BGRA32. 16-bit channels are scaled to 8 bits; tRNS is
// ignored. Asks libpng for the transformations that deliver rows in that format.
ReadPlan PlanRead(png_structp png, png_infop info) {
  ReadPlan plan;
  const int depth = png_get_bit_depth(png, info);
  const int colorType = png_get_color_type(png, info);
  if (depth == 16) png_set_scale_16(png);
  if (depth == 2) {
    png_set_packing(png);
    plan.widen2 = true;
    plan.scale2 = colorType == PNG_COLOR_TYPE_GRAY ? 5 : 1;
  }
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
      plan.format = depth == 1 ? utl::Gray1 : depth <= 4 ? utl::Gray4 : utl::Gray8;
      break;
    case PNG_COLOR_TYPE_PALETTE: {
      plan.format = depth == 1 ? utl::Indexed1 : depth <= 4 ? utl::Indexed4 : utl::Indexed8;
      png_colorp colors = nullptr;
      int count = 0;
      if (png_get_PLTE(png, info, &colors, &count) != 0) {
        plan.paletteSize = static_cast<unsigned>(count < 256 ? count : 256);
        for (unsigned i = 0; i < plan.paletteSize; ++i) {
          plan.palette[i] = RGBQUAD{colors[i].blue, colors[i].green, colors[i].red, 0};
        }
      }
      break;
    }
    case PNG_COLOR_TYPE_RGB:
      plan.format = utl::BGR24;
      png_set_bgr(png);
      break;
    default:  // grey+alpha, RGBA
      if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
      plan.format = utl::BGRA32;
      png_set_bgr(png);
      break;
  }
  return plan;
}

// One 2-bit value a byte into 4-bit pixels, two a byte.
void Widen2To4(const std::uint8_t* values, png_uint_32 width, int scale, std::uint8_t* packed) {
  for (png_uint_32 x = 0; x < width; x += 2) {
    const int high = values[x] * scale;
    const int low = x + 1 < width ? values[x + 1] * scale : 0;
    packed[x / 2] = static_cast<std::uint8_t>(high << 4 | low);
  }
}

// How a host image's rows become a PNG's.
struct WritePlan {
  int colorType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  bool bgr = false;         // host B,G,R order
  bool dropFourth = false;  // BGRA32: its fourth byte is not written
  bool swap16 = false;      // host 16-bit values are little-endian
  bool convert = false;     // through the host's converter into BGR24 first
  png_color palette[256] = {};
  int paletteSize = 0;
};

WritePlan PlanWrite(const qxio::TrImage& image) {
  WritePlan plan;
  const utl::ColorFormat format = image.GetColorFormat();
  switch (format) {
    case utl::Gray1:
    case utl::Gray4:
    case utl::Gray8:
    case utl::Gray16:
      plan.colorType = PNG_COLOR_TYPE_GRAY;
      plan.bitDepth = utl::BitsPerPixel(format);
      plan.swap16 = format == utl::Gray16;
      break;
    case utl::Indexed1:
    case utl::Indexed4:
    case utl::Indexed8: {
      plan.colorType = PNG_COLOR_TYPE_PALETTE;
      plan.bitDepth = utl::BitsPerPixel(format);
      // Every index the depth can hold gets an entry, so no pixel points past the palette.
      plan.paletteSize = 1 << plan.bitDepth;
      RGBQUAD table[256] = {};
      image.GetColorTable(table, 0, plan.paletteSize);
      for (int i = 0; i < plan.paletteSize; ++i) {
        plan.palette[i] = png_color{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue};
      }
      break;
    }
    case utl::RGB24:
      break;
    default:
      plan.bgr = true;
      plan.dropFourth = format == utl::BGRA32;
      plan.convert = format != utl::BGR24 && format != utl::BGRA32;
      break;
  }
  return plan;
}

void WriteImage(png_structp png, png_infop info, const WritePlan& plan,
                const qxio::TrImage& image, std::uint8_t* converted, qxio::CProgress& progress) {
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
               plan.bitDepth, plan.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (plan.paletteSize > 0) png_set_PLTE(png, info, plan.palette, plan.paletteSize);
  png_write_info(png, info);
  // libpng takes the row transformations only once the header is written.
  if (plan.bgr) png_set_bgr(png);
  if (plan.dropFourth) png_set_filler(png, 0, PNG_FILLER_AFTER);
  if (plan.swap16) png_set_swap(png);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = image.Row(y);
    if (plan.convert) {
      if (!pixcv::SimplePixelConvert(width, row, image.GetColorFormat(), converted, utl::BGR24, 0,
                                     nullptr, false)) {
        png_error(png, "the image's colour format cannot be converted to RGB");
      }
      row = converted;
    }
    png_write_row(png, row);
    progress.Proportion(static_cast<double>(y) / height);
  }
  png_write_end(png, info);
}

}  // namespace

bool PngSupported() { return true; }

qxio::TrImage ReadPng(const std::wstring& path, qxio::IoManager& manager) {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  PngStream stream(file, false);
  png_structp png = stream.png;
  png_infop info = stream.info;
  ReadPlan plan;
  std::size_t fileRowBytes = 0;  // before transformations, for the size check
  std::size_t rowBytes = 0;      // as libpng delivers rows
  int passes = 1;
  if (!stream.Run([&] {
        png_read_info(png, info);
        fileRowBytes = png_get_rowbytes(png, info);
        plan = PlanRead(png, info);
        passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        rowBytes = png_get_rowbytes(png, info);
      })) {
    stream.Fail("cannot read this PNG file");
  }
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const double claimed = static_cast<double>(height) * (fileRowBytes + 1.0);
  if (claimed > kMaxInflateRatio * static_cast<double>(file.GetLength()) + 4096.0) {
    throw Failure("the PNG claims " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels, more than its " + std::to_string(file.GetLength()) +
                  " bytes can hold");
  }

  qxio::CProgress progress(&manager);
  progress.MessageVA(L"Reading PNG file %s", utl::CPath(path).GetNameAndExtension().c_str());
  qxio::TrImage image;
  image.SetScanlineStart(static_cast<int>(width), static_cast<int>(height), plan.format, 0, 0,
                         plan.palette, qxio::RowAccessByIndex, plan.paletteSize,
                         progress.IProgressPtr());
  if (!plan.widen2 && rowBytes != image.RowBytes()) {
    throw Failure("internal error: PNG rows of " + std::to_string(rowBytes) +
                  " bytes for image rows of " + std::to_string(image.RowBytes()));
  }
  // libpng fills the image's rows itself; 2-bit rows go through scratch rows first, one for
  // each row of an interlaced image, whose passes come back to every row.
  std::vector<std::uint8_t> scratch(plan.widen2 ? rowBytes * (passes > 1 ? height : 1) : 0);
  const double steps = static_cast<double>(passes) * height;
  if (!stream.Run([&] {
        for (int pass = 0; pass < passes; ++pass) {
          for (png_uint_32 y = 0; y < height; ++y) {
            std::uint8_t* row = plan.widen2 ? &scratch[passes > 1 ? y * rowBytes : 0]
                                            : image.MutableRow(static_cast<int>(y));
            png_read_row(png, row, nullptr);
            if (plan.widen2 && pass + 1 == passes) {
              Widen2To4(row, width, plan.scale2, image.MutableRow(static_cast<int>(y)));
            }
            progress.Proportion((static_cast<double>(pass) * height + y) / steps);
          }
        }
        png_read_end(png, nullptr);
      })) {
    stream.Fail("cannot read this PNG file");
  }
  image.SetScanlineEnd(nullptr, 0);
  progress.Proportion(1.0);
  return image;
}

void WritePng(const qxio::TrImage& image, const std::wstring& path, qxio::IoManager& manager) {
  const WritePlan plan = PlanWrite(image);
  std::vector<std::uint8_t> converted(
      plan.convert ? 4 * static_cast<std::size_t>(image.GetWidth()) : 0);

  utl::CSafeSave output;
  output.Begin(path);
  qxio::CProgress progress(&manager);
  progress.MessageVA(L"Writing PNG file %s", utl::CPath(path).GetNameAndExtension().c_str());
  PngStream stream(output.File(), true);
  if (!stream.Run([&] {
        WriteImage(stream.png, stream.info, plan, image, converted.data(), progress);
      })) {
    stream.Fail("cannot write the PNG file");
  }
  progress.Proportion(1.0);
  if (!output.Commit()) {
    throw Failure("cannot put the new file in place of '" + utl::ToUtf8(path) + "'");
  }
}

#endif

}  // namespace qxhost
