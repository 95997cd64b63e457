// The PNG decoder over libpng, for every system but Windows (zlibstripencoder.cpp encodes). The
// image data of common files takes a faster way where the build has it (directdecoder.h).
//
// libpng's row-by-row API, not its simplified one (png_image_*): that one decodes a whole image
// in one call, so progress would stand still (1.4 s to read an 8192 x 8192 RGB file); it
// converts pixels from the file's gamma to sRGB and flattens tRNS transparency onto black.
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <new>
#include <vector>

#include <png.h>

#include "directdecoder.h"
#include "pngformat.h"

namespace pngio {

namespace {

// One libpng read over a host file. libpng leaves its callers by longjmp, so C++
// exceptions never cross it: a callback keeps the file's error, raised again once libpng has
// returned, and Run's steps hold only trivially destructible objects of their own.
class PngStream {
public:
  explicit PngStream(utl::CBufferedFile& file) : m_file(file) {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
    if (png) info = png_create_info_struct(png);
    if (!info) {
      png_destroy_read_struct(&png, &info, nullptr);
      throw std::bad_alloc();
    }
    png_set_read_fn(png, this, OnRead);
    // PNG's own bound, not libpng's default of a million pixels a side: the size that the file
    // can hold and the host's pixel limit decide, before anything is allocated for rows.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    // Chunks of text, profiles and the like say nothing about pixels, and libpng allocates what
    // their length claims (2 GiB from a file of 60 bytes): they are passed over unread.
    static const png_byte kUnread[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL\0hIST\0";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnread, 9);
  }
  ~PngStream() { png_destroy_read_struct(&png, &info, nullptr); }
  PngStream(const PngStream&) = delete;
  PngStream& operator=(const PngStream&) = delete;

  // Runs step, in which an end of the file is one "in" where; false when libpng gave up inside it.
  template <class Step>
  bool Run(const char* where, Step&& step) {
    m_where = where;
    if (setjmp(png_jmpbuf(png))) return false;
    step();
    return true;
  }

  // After Run gave false: the file's own error, or libpng's words after what.
  [[noreturn]] void Fail(const char* what) const {
    if (m_fileError) std::rethrow_exception(m_fileError);
    // zlib's and libpng's words where they say less than they could to someone with a file.
    static const char* const kPlainer[][2] = {
        {"IDAT: incorrect header check", "the image data is not a zlib stream"},
        {"IDAT: incorrect data check", "the image data's checksum (Adler-32) does not match"},
        {"bad adaptive filter value", "a row of an unknown filter type"}};
    std::string reason = m_message;
    for (const auto& [said, plainer] : kPlainer) {
      if (reason == said) reason = plainer;
    }
    throw PngError(std::string(what) + ": " + reason);
  }

  png_structp png = nullptr;
  png_infop info = nullptr;

private:
  static PngStream& Of(png_structp png) { return *static_cast<PngStream*>(png_get_io_ptr(png)); }

  [[noreturn]] static void OnError(png_structp png, png_const_charp text) {
    auto* stream = static_cast<PngStream*>(png_get_error_ptr(png));
    if (text != stream->m_message) {
      std::snprintf(stream->m_message, sizeof stream->m_message, "%s", text);
    }
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
    if (complete) return;
    if (!stream.m_fileError) {
      std::snprintf(stream.m_message, sizeof stream.m_message, "the file ends %s", stream.m_where);
    }
    png_error(png, stream.m_fileError ? "read error" : stream.m_message);
  }

  utl::CBufferedFile& m_file;
  std::exception_ptr m_fileError;
  const char* m_where = "";
  char m_message[256] = "";
};

Kind KindOf(png_structp png, png_infop info) {
  Kind kind;
  kind.width = png_get_image_width(png, info);
  kind.height = png_get_image_height(png, info);
  kind.bitDepth = png_get_bit_depth(png, info);
  kind.colorType = png_get_color_type(png, info);
  kind.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  kind.transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_colorp colors = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &colors, &count) != 0) {
    kind.paletteSize = static_cast<unsigned>(count);  // libpng keeps at most 256
    for (unsigned i = 0; i < kind.paletteSize; ++i) {
      kind.palette[i] = RGBQUAD{colors[i].blue, colors[i].green, colors[i].red, 0};
      kind.alpha[i] = 255;
    }
  }
  png_bytep alpha = nullptr;
  int alphaCount = 0;
  // libpng keeps a palette's tRNS only with 1 to PLTE's count of entries.
  if (kind.colorType == kPalette && png_get_tRNS(png, info, &alpha, &alphaCount, nullptr) != 0) {
    for (int i = 0; i < alphaCount; ++i) kind.alpha[i] = alpha[i];
  }
  return kind;
}

// Asks libpng for rows in a form that maps onto the host format: palettes as indices, grey as
// it is, colour as B,G,R(,A); alpha from tRNS; 16-bit samples little-endian.
RowForm Transform(png_structp png, const Kind& kind, utl::ColorFormat format) {
  const bool sixteen = kind.bitDepth == 16;
  if (sixteen) png_set_swap(png);
  if (kind.colorType == kPalette) return {Samples::Index, kind.bitDepth};
  if (format == utl::BGRA32) {
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    if (!sixteen) png_set_bgr(png);
    return sixteen ? RowForm{Samples::Rgba16, 16} : RowForm{Samples::Bgra, 8};
  }
  if (kind.colorType == kGrey) return {Samples::Grey, kind.bitDepth};
  if (!sixteen) png_set_bgr(png);
  return sixteen ? RowForm{Samples::Rgb16, 16} : RowForm{Samples::Bgr, 8};
}

// libpng's rows into image, once png_read_info has read the header of kind.
void ReadRows(PngStream& stream, const Kind& kind, qxio::TrImage& image,
              qxio::CProgress& progress) {
  png_structp png = stream.png;
  png_infop info = stream.info;
  RowForm form{};
  std::size_t rowBytes = 0;
  int passes = 1;
  if (!stream.Run("in its header", [&] {
        form = Transform(png, kind, image.GetColorFormat());
        passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        rowBytes = png_get_rowbytes(png, info);
      })) {
    stream.Fail("cannot read this PNG file");
  }
  // Transform asked for rows of RowBytes(form, width) that map onto the host format of kind.
  const RowMapper mapper(form, image.GetColorFormat(), kind.width, kind);
  // libpng fills the image's rows itself when they are in its form; other rows go through
  // scratch rows, one for each row of an interlaced image, whose passes come back to every row.
  const std::uint32_t height = kind.height;
  std::vector<std::uint8_t> scratch(mapper.Direct() ? 0 : rowBytes * (passes > 1 ? height : 1));
  const double steps = static_cast<double>(passes) * height;
  if (!stream.Run("in its image data", [&] {
        for (int pass = 0; pass < passes; ++pass) {
          for (std::uint32_t y = 0; y < height; ++y) {
            std::uint8_t* target = image.MutableRow(static_cast<int>(y));
            std::uint8_t* row = mapper.Direct() ? target : &scratch[passes > 1 ? y * rowBytes : 0];
            png_read_row(png, row, nullptr);
            if (!mapper.Direct() && pass + 1 == passes) mapper.Map(row, target);
            progress.Proportion((static_cast<double>(pass) * height + y) / steps);
          }
        }
      })) {
    stream.Fail("cannot read this PNG file");
  }
  if (!stream.Run("after its image data, without an end (IEND)",
                  [&] { png_read_end(png, stream.info); })) {
    stream.Fail("cannot read this PNG file");
  }
}

// Whether the direct way read the image data of the PNG at path into image.
bool ReadDirectly(const std::wstring& path, const Kind& kind, qxio::TrImage& image,
                  qxio::CProgress& progress) {
#if defined(VEMRA_PNG_DIRECT)
  return DecodeDirect(path, kind, image, progress);
#else
  (void)path, (void)kind, (void)image, (void)progress;
  return false;
#endif
}

}  // namespace

qxio::TrImage DecodeBy(Route route, const std::wstring& path, qxio::CProgress& progress,
                       std::string* notice) {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  // The header in words of its own, and the size it claims against the file's, before libpng
  // sees the file.
  CheckClaimedSize(ReadKind(file), file.GetLength());
  file.Close();
  file.Open(path, "rb", utl::ShareRead, false);
  PngStream stream(file);
  Kind kind;
  if (!stream.Run("in its header", [&] {
        png_read_info(stream.png, stream.info);
        kind = KindOf(stream.png, stream.info);
      })) {
    stream.Fail("cannot read this PNG file");
  }
  *notice = PrecisionNotice(kind);
  qxio::TrImage image = NewImage(kind, HostFormat(kind), progress);
  // The direct way reads the file anew, leaving libpng's reading where it stands: at the image
  // data, for the rows of a file that the direct way does not take.
  if (route == Route::Libpng || !ReadDirectly(path, kind, image, progress)) {
    if (route == Route::Direct) throw PngError("not a file that the direct way reads");
    ReadRows(stream, kind, image, progress);
  }
  image.SetScanlineEnd(nullptr, 0);
  return image;
}

qxio::TrImage Decode(const std::wstring& path, qxio::CProgress& progress, std::string* notice) {
  return DecodeBy(Route::Any, path, progress, notice);
}

}  // namespace pngio
