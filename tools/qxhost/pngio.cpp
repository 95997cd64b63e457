#include "pngio.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "failure.h"
#include "utl/bufferedfile.h"
#include "utl/path.h"
#include "utl/safesave.h"

#if defined(QXHOST_HAVE_PNG)
#  include <csetjmp>

#  include <png.h>

#  include "pixcv/convert.h"
#  include "utl/colorformat.h"
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

namespace {

// Deflate expands data at most about 1032 times; a PNG that claims more pixels than its
// size can hold is refused before anything is allocated for it.
constexpr double kMaxInflateRatio = 1100.0;

// What libpng's callbacks share with the calling code.
struct PngSession {
  utl::CBufferedFile* file = nullptr;
  std::exception_ptr fileError;  // raised again once libpng has returned
  char message[256] = "";
};

// libpng leaves its callers by longjmp, so every function from a setjmp down to a libpng
// call holds only trivially destructible objects, and C++ exceptions never cross libpng.
[[noreturn]] void OnPngError(png_structp png, png_const_charp text) {
  auto* session = static_cast<PngSession*>(png_get_error_ptr(png));
  std::snprintf(session->message, sizeof session->message, "%s", text);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp /*png*/, png_const_charp /*text*/) {}

bool ReadBytes(PngSession& session, void* data, std::size_t size) noexcept {
  try {
    return session.file->Read(data, size) == size;
  } catch (...) {
    session.fileError = std::current_exception();
    return false;
  }
}

bool WriteBytes(PngSession& session, const void* data, std::size_t size) noexcept {
  try {
    session.file->Write(data, size);
    return true;
  } catch (...) {
    session.fileError = std::current_exception();
    return false;
  }
}

void OnRead(png_structp png, png_bytep data, std::size_t size) {
  auto* session = static_cast<PngSession*>(png_get_io_ptr(png));
  if (!ReadBytes(*session, data, size)) {
    png_error(png, session->fileError ? "read error" : "the file ends early");
  }
}

void OnWrite(png_structp png, png_bytep data, std::size_t size) {
  auto* session = static_cast<PngSession*>(png_get_io_ptr(png));
  if (!WriteBytes(*session, data, size)) png_error(png, "write error");
}

void OnFlush(png_structp /*png*/) {}

[[noreturn]] void RaiseFailure(const PngSession& session, const char* what) {
  if (session.fileError) std::rethrow_exception(session.fileError);
  throw Failure(std::string(what) + ": " + session.message);
}

struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStructs() { png_destroy_write_struct(&png, &info); }
};

// How a PNG's rows become a host image's rows.
struct ReadLayout {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  std::size_t fileRowBytes = 0;  // before transformations, for the size check
  std::size_t rowBytes = 0;      // as libpng delivers rows
  int passes = 1;
  utl::ColorFormat format = utl::ColorFormatUnknown;
  bool packTo4 = false;  // one value per byte from libpng, packed into nibbles here
  int scale = 1;         // 2-bit grey levels times 5 are the 4-bit ones
  RGBQUAD palette[256] = {};
  unsigned paletteSize = 0;
};

// Picks the host format for grey or palette images of 1 to 8 bits: 2-bit ones widen to 4.
void PlanSmallDepth(png_structp png, int bitDepth, utl::ColorFormat format1,
                    utl::ColorFormat format4, utl::ColorFormat format8, int scale2,
                    ReadLayout* layout) {
  if (bitDepth == 1) {
    layout->format = format1;
  } else if (bitDepth <= 4) {
    layout->format = format4;
    if (bitDepth == 2) {
      png_set_packing(png);
      layout->packTo4 = true;
      layout->scale = scale2;
    }
  } else {
    layout->format = format8;
  }
}

bool ReadHeader(png_structp png, png_infop info, ReadLayout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  layout->width = png_get_image_width(png, info);
  layout->height = png_get_image_height(png, info);
  layout->fileRowBytes = png_get_rowbytes(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  if (bitDepth == 16) png_set_scale_16(png);
  switch (png_get_color_type(png, info)) {
    case PNG_COLOR_TYPE_GRAY:
      PlanSmallDepth(png, bitDepth, utl::Gray1, utl::Gray4, utl::Gray8, 5, layout);
      break;
    case PNG_COLOR_TYPE_PALETTE: {
      PlanSmallDepth(png, bitDepth, utl::Indexed1, utl::Indexed4, utl::Indexed8, 1, layout);
      png_colorp colors = nullptr;
      int count = 0;
      if (png_get_PLTE(png, info, &colors, &count) != 0) {
        layout->paletteSize = static_cast<unsigned>(count < 256 ? count : 256);
        for (unsigned i = 0; i < layout->paletteSize; ++i) {
          layout->palette[i] = RGBQUAD{colors[i].blue, colors[i].green, colors[i].red, 0};
        }
      }
      break;
    }
    case PNG_COLOR_TYPE_RGB:
      layout->format = utl::BGR24;
      png_set_bgr(png);
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      png_set_gray_to_rgb(png);
      layout->format = utl::BGRA32;
      png_set_bgr(png);
      break;
    default:  // RGB with alpha
      layout->format = utl::BGRA32;
      png_set_bgr(png);
      break;
  }
  layout->passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  layout->rowBytes = png_get_rowbytes(png, info);
  return true;
}

void StoreRow(const ReadLayout& layout, const std::uint8_t* row, std::uint8_t* packed,
              qxio::TrImage& image, int index) {
  if (layout.packTo4) {
    std::memset(packed, 0, image.RowBytes());
    for (png_uint_32 x = 0; x < layout.width; ++x) {
      const int value = (row[x] * layout.scale) & 0x0F;
      packed[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? value << 4 : value);
    }
    row = packed;
  }
  image.SetScanline(row, index);
}

// Interlaced images are read whole (libpng fills every row in each pass), others row by row.
bool ReadRows(png_structp png, const ReadLayout* layout, std::uint8_t* buffer, std::uint8_t* packed,
              qxio::TrImage* image, qxio::CProgress* progress) {
  if (setjmp(png_jmpbuf(png))) return false;
  const bool whole = layout->passes > 1;
  for (int pass = 0; pass < layout->passes; ++pass) {
    const bool last = pass + 1 == layout->passes;
    for (png_uint_32 y = 0; y < layout->height; ++y) {
      std::uint8_t* row = buffer + (whole ? y * layout->rowBytes : 0);
      png_read_row(png, row, nullptr);
      if (!last) continue;
      StoreRow(*layout, row, packed, *image, static_cast<int>(y));
      progress->Proportion(static_cast<double>(y) / layout->height);
    }
  }
  png_read_end(png, nullptr);
  return true;
}

// How a host image's rows become a PNG's.
struct WriteLayout {
  int colorType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  bool bgr = false;         // host B,G,R order
  bool dropFourth = false;  // BGRA32: its fourth byte is not written
  bool swap16 = false;      // host 16-bit values are little-endian
  bool convert = false;     // through the host's converter into BGR24 first
  png_color palette[256] = {};
  int paletteSize = 0;
};

WriteLayout PlanWrite(const qxio::TrImage& image) {
  WriteLayout layout;
  const utl::ColorFormat format = image.GetColorFormat();
  switch (format) {
    case utl::Gray1:
    case utl::Gray4:
    case utl::Gray8:
    case utl::Gray16:
      layout.colorType = PNG_COLOR_TYPE_GRAY;
      layout.bitDepth = utl::BitsPerPixel(format);
      layout.swap16 = format == utl::Gray16;
      break;
    case utl::Indexed1:
    case utl::Indexed4:
    case utl::Indexed8: {
      layout.colorType = PNG_COLOR_TYPE_PALETTE;
      layout.bitDepth = utl::BitsPerPixel(format);
      // Every index the depth can hold gets an entry, so no pixel points past the palette.
      layout.paletteSize = 1 << layout.bitDepth;
      RGBQUAD table[256] = {};
      image.GetColorTable(table, 0, layout.paletteSize);
      for (int i = 0; i < layout.paletteSize; ++i) {
        layout.palette[i] = png_color{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue};
      }
      break;
    }
    case utl::BGR24:
      layout.bgr = true;
      break;
    case utl::BGRA32:
      layout.bgr = true;
      layout.dropFourth = true;
      break;
    case utl::RGB24:
      break;
    default:
      layout.bgr = true;
      layout.convert = true;
      break;
  }
  return layout;
}

bool WriteRows(png_structp png, png_infop info, const WriteLayout* layout,
               const qxio::TrImage* image, std::uint8_t* converted, qxio::CProgress* progress) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int width = image->GetWidth();
  const int height = image->GetHeight();
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
               layout->bitDepth, layout->colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (layout->paletteSize > 0) png_set_PLTE(png, info, layout->palette, layout->paletteSize);
  png_write_info(png, info);
  if (layout->bgr) png_set_bgr(png);
  if (layout->dropFourth) png_set_filler(png, 0, PNG_FILLER_AFTER);
  if (layout->swap16) png_set_swap(png);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = image->Row(y);
    if (layout->convert) {
      if (!pixcv::SimplePixelConvert(width, row, image->GetColorFormat(), converted, utl::BGR24, 0,
                                     nullptr, false)) {
        png_error(png, "the image's colour format cannot be converted to RGB");
      }
      row = converted;
    }
    png_write_row(png, row);
    progress->Proportion(static_cast<double>(y) / height);
  }
  png_write_end(png, info);
  return true;
}

}  // namespace

bool PngSupported() { return true; }

qxio::TrImage ReadPng(const std::wstring& path, qxio::IoManager& manager) {
  utl::CBufferedFile file;
  file.Open(path, "rb", utl::ShareRead, false);
  PngSession session;
  session.file = &file;
  ReadStructs structs;
  structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, OnPngError, OnPngWarning);
  if (!structs.png) throw std::bad_alloc();
  structs.info = png_create_info_struct(structs.png);
  if (!structs.info) throw std::bad_alloc();
  png_set_read_fn(structs.png, &session, OnRead);

  ReadLayout layout;
  if (!ReadHeader(structs.png, structs.info, &layout)) {
    RaiseFailure(session, "cannot read this PNG file");
  }
  const double claimed = static_cast<double>(layout.height) * (layout.fileRowBytes + 1.0);
  if (claimed > kMaxInflateRatio * static_cast<double>(file.GetLength()) + 4096.0) {
    throw Failure("the PNG claims " + std::to_string(layout.width) + " x " +
                  std::to_string(layout.height) + " pixels, more than its " +
                  std::to_string(file.GetLength()) + " bytes can hold");
  }

  qxio::CProgress progress(&manager);
  progress.MessageVA(L"Reading PNG file %s", utl::CPath(path).GetNameAndExtension().c_str());
  qxio::TrImage image;
  image.SetScanlineStart(static_cast<int>(layout.width), static_cast<int>(layout.height),
                         layout.format, 0, 0, layout.palette, qxio::RowAccessByIndex,
                         layout.paletteSize, progress.IProgressPtr());
  if (!layout.packTo4 && layout.rowBytes != image.RowBytes()) {
    throw Failure("internal error: PNG rows of " + std::to_string(layout.rowBytes) +
                  " bytes for image rows of " + std::to_string(image.RowBytes()));
  }
  const std::size_t rowsHeld = layout.passes > 1 ? layout.height : 1;
  std::vector<std::uint8_t> buffer(layout.rowBytes * rowsHeld);
  std::vector<std::uint8_t> packed(image.RowBytes());
  if (!ReadRows(structs.png, &layout, buffer.data(), packed.data(), &image, &progress)) {
    RaiseFailure(session, "cannot read this PNG file");
  }
  image.SetScanlineEnd(nullptr, 0);
  progress.Proportion(1.0);
  return image;
}

void WritePng(const qxio::TrImage& image, const std::wstring& path, qxio::IoManager& manager) {
  const WriteLayout layout = PlanWrite(image);
  std::vector<std::uint8_t> converted(
      layout.convert ? 4 * static_cast<std::size_t>(image.GetWidth()) : 0);

  utl::CSafeSave output;
  output.Begin(path);
  qxio::CProgress progress(&manager);
  progress.MessageVA(L"Writing PNG file %s", utl::CPath(path).GetNameAndExtension().c_str());
  PngSession session;
  session.file = &output.File();
  WriteStructs structs;
  structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &session, OnPngError, OnPngWarning);
  if (!structs.png) throw std::bad_alloc();
  structs.info = png_create_info_struct(structs.png);
  if (!structs.info) throw std::bad_alloc();
  png_set_write_fn(structs.png, &session, OnWrite, OnFlush);

  if (!WriteRows(structs.png, structs.info, &layout, &image, converted.data(), &progress)) {
    RaiseFailure(session, "cannot write the PNG file");
  }
  progress.Proportion(1.0);
  if (!output.Commit()) {
    throw Failure("cannot put the new file in place of '" + utl::ToUtf8(path) + "'");
  }
}

#endif

}  // namespace qxhost
