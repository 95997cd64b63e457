#include "pnmformat.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "pixcv/convert.h"
#include "pixcv/pixels.h"

namespace pnmio {

namespace {

constexpr int kEnd = -1;                        // no byte left
constexpr std::uint32_t kPastInt = 0x80000000;  // where numbers stop counting
constexpr unsigned kLargestMaxval = 65535;
constexpr unsigned kByteMaxval = 255;

[[noreturn]] void NotValid(const std::string& reason) {
  throw PnmError(utl::ErrorKind::FileRead, reason);
}

// netpbm's whitespace: no vertical tab or form feed.
bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}

// A PNM file's bytes one at a time as netpbm sees them: a comment, from '#' to the end of its
// line, reads as the character that ends it, so comments go wherever whitespace does and end
// a number as a space would.
class Scanner {
public:
  explicit Scanner(utl::CBufferedFile& file) : m_file(file) {}

  int Next() {
    int c = Byte();
    if (c == '#') {
      do c = Byte();
      while (c != '\n' && c != '\r' && c != kEnd);
    }
    return c;
  }

  int NextAfterSpace() {
    int c = Next();
    while (IsSpace(c)) c = Next();
    return c;
  }

  enum class Token { Number, Junk, End };
  // Skips whitespace and reads a decimal number, consuming the character after its digits,
  // whatever it is, as netpbm does; value stops at kPastInt. The last number may end the file.
  Token ReadNumber(std::uint32_t& value) {
    int c = NextAfterSpace();
    if (c == kEnd) return Token::End;
    if (!IsDigit(c)) return Token::Junk;
    std::uint64_t number = 0;
    for (; IsDigit(c); c = Next()) {
      number = std::min<std::uint64_t>(number * 10 + std::uint64_t(c - '0'), kPastInt);
    }
    value = static_cast<std::uint32_t>(number);
    return Token::Number;
  }

private:
  int Byte() {
    std::uint8_t byte;
    return m_file.Read(&byte, 1) == 1 ? byte : kEnd;
  }

  utl::CBufferedFile& m_file;
};

std::uint32_t HeaderNumber(Scanner& in, const char* field) {
  std::uint32_t value = 0;
  const Scanner::Token token = in.ReadNumber(value);
  if (token == Scanner::Token::End) NotValid("the header is cut short");
  if (token == Scanner::Token::Junk) {
    NotValid(std::string("junk where the ") + field + " should be");
  }
  return value;
}

int SideLength(Scanner& in, const char* field) {
  const std::uint32_t value = HeaderNumber(in, field);
  if (value == 0) NotValid(std::string("a ") + field + " of 0");
  if (value >= kPastInt) NotValid(std::string("a ") + field + " past 2^31 - 1");
  return static_cast<int>(value);
}

std::string RowsPresent(std::uint64_t rows, const Header& header, bool bound) {
  return (bound ? "at most " : "") + std::to_string(rows) + " of " + std::to_string(header.height) +
         " rows present";
}

// The bytes of a raw row, or the fewest that a plain row takes: a character for each bit, a
// digit and a separator for each sample.
std::uint64_t RowBytes(const Header& header) {
  const std::uint64_t samples = std::uint64_t(header.width) * std::uint64_t(header.Channels());
  if (header.Plain()) return header.Bitmap() ? samples : 2 * samples;
  if (header.Bitmap()) return pixcv::PackedRowBytes(samples, 1);
  return header.maxval > kByteMaxval ? 2 * samples : samples;
}

// A header that claims more rows than the bytes after it can hold is refused before the image
// is allocated: a file of a few bytes must not cost gigabytes. Plain samples take at least two
// characters each, but the last needs no separator.
void CheckClaimedSize(const Header& header, std::int64_t bytesLeft) {
  const std::uint64_t slack = header.Plain() && !header.Bitmap() ? 1 : 0;
  const std::uint64_t rows = (std::uint64_t(bytesLeft) + slack) / RowBytes(header);
  if (rows < std::uint64_t(header.height)) {
    throw PnmError(utl::ErrorKind::UnexpectedEof, RowsPresent(rows, header, header.Plain()));
  }
}

// Reads rows of any kind into rows of the host's format.
class RowReader {
public:
  RowReader(const Header& header, utl::CBufferedFile& file)
      : m_header(header), m_file(file), m_in(file) {
    for (unsigned v = 0; v <= header.maxval; ++v) {
      m_scale.push_back(static_cast<std::uint8_t>((v * 255 + header.maxval / 2) / header.maxval));
    }
    if (!header.Plain()) m_raw.resize(static_cast<std::size_t>(RowBytes(header)));
  }

  void Read(int y, std::uint8_t* out) {
    m_row = y;
    if (m_header.Bitmap() && m_header.Plain()) return ReadPlainBits(out);
    if (m_header.Bitmap()) return ReadRawBits(out);
    const std::size_t samples = std::size_t(m_header.width) * std::size_t(m_header.Channels());
    if (!m_header.Plain()) Fill(m_raw.data(), m_raw.size());
    const bool wide = m_header.maxval > kByteMaxval;
    for (std::size_t i = 0; i < samples; ++i) {
      const unsigned value = m_header.Plain() ? PlainSample()
                             : wide           ? unsigned(m_raw[2 * i] << 8 | m_raw[2 * i + 1])
                                              : m_raw[i];
      if (value > m_header.maxval) {
        NotValid("row " + std::to_string(y + 1) + " holds a sample past the maxval of " +
                 std::to_string(m_header.maxval));
      }
      // R, G, B samples land as B, G, R bytes.
      out[m_header.Channels() == 3 ? i + 2 - 2 * (i % 3) : i] = m_scale[value];
    }
  }

private:
  [[noreturn]] void EndsEarly() const {
    throw PnmError(utl::ErrorKind::UnexpectedEof, RowsPresent(m_row, m_header, false));
  }

  [[noreturn]] void Junk(const char* what) const {
    NotValid("junk in row " + std::to_string(m_row + 1) + " where " + what + " should be");
  }

  void Fill(std::uint8_t* bytes, std::size_t size) {
    if (m_file.Read(bytes, size) != size) EndsEarly();
  }

  // PBM's 1 is black, the host's white.
  void ReadRawBits(std::uint8_t* out) {
    Fill(out, m_raw.size());
    for (std::uint8_t* byte = out; byte != out + m_raw.size(); ++byte) *byte = ~*byte;
  }

  // Digits 0 and 1, with or without whitespace between them.
  void ReadPlainBits(std::uint8_t* out) {
    for (int x = 0; x < m_header.width; ++x) {
      const int c = m_in.NextAfterSpace();
      if (c == kEnd) EndsEarly();
      if (c != '0' && c != '1') Junk("a bit");
      if (c == '0') out[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }

  unsigned PlainSample() {
    std::uint32_t value = 0;
    const Scanner::Token token = m_in.ReadNumber(value);
    if (token == Scanner::Token::End) EndsEarly();
    if (token == Scanner::Token::Junk) Junk("a sample");
    return value;
  }

  const Header& m_header;
  utl::CBufferedFile& m_file;
  Scanner m_in;
  std::vector<std::uint8_t> m_scale;  // a sample's 8-bit level
  std::vector<std::uint8_t> m_raw;    // a raw row as the file holds it
  int m_row = 0;
};

// Whether a 1-bit image is black and white: Gray1, or Indexed1 whose two entries are black and
// white in either order (an entry missing from its table is black).
bool IsBlackAndWhite(const qxio::TrImage& image, const RGBQUAD* table) {
  if (image.GetColorFormat() == utl::Gray1) return true;
  return image.GetColorFormat() == utl::Indexed1 &&
         ((pixcv::IsGreyLevel(table[0], 0) && pixcv::IsGreyLevel(table[1], 255)) ||
          (pixcv::IsGreyLevel(table[0], 255) && pixcv::IsGreyLevel(table[1], 0)));
}

// Whether every pixel of an image that is not black and white is grey: a Gray format of more
// than 1 bit, or indices of grey entries alone.
bool IsGrey(const qxio::TrImage& image, const RGBQUAD* table) {
  const utl::ColorFormat format = image.GetColorFormat();
  if (format == utl::Gray4 || format == utl::Gray8 || format == utl::Gray16) return true;
  if (format != utl::Indexed1 && format != utl::Indexed4 && format != utl::Indexed8) return false;
  const int bits = utl::BitsPerPixel(format);
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (std::size_t x = 0; x < std::size_t(image.GetWidth()); ++x) {
      if (!pixcv::IsGrey(table[pixcv::PackedSample(image.Row(y), x, bits)])) return false;
    }
  }
  return true;
}

// An image's rows as the file holds them.
class WritePlan {
public:
  explicit WritePlan(const qxio::TrImage& image) : m_image(image) {
    image.GetColorTable(m_table, 0, 256);
    const std::size_t width = static_cast<std::size_t>(image.GetWidth());
    m_bgr.resize(3 * width);
    if (IsBlackAndWhite(image, m_table)) {
      m_magic = '4';
      m_out.resize(pixcv::PackedRowBytes(width, 1));
    } else {
      m_magic = IsGrey(image, m_table) ? '5' : '6';
      m_out.resize(m_magic == '5' ? width : 3 * width);
    }
  }

  std::string Header() const {
    const std::string size =
        std::to_string(m_image.GetWidth()) + " " + std::to_string(m_image.GetHeight()) + "\n";
    return std::string("P") + m_magic + "\n" + size + (m_magic == '4' ? "" : "255\n");
  }

  const std::vector<std::uint8_t>& Row(int y) {
    const std::uint8_t* row = m_image.Row(y);
    const int width = m_image.GetWidth();
    if (m_magic == '4') {
      // The level or index that is black becomes 1.
      const bool blackIsZero =
          m_image.GetColorFormat() == utl::Gray1 || pixcv::IsGreyLevel(m_table[0], 0);
      for (std::size_t i = 0; i < m_out.size(); ++i) {
        m_out[i] = static_cast<std::uint8_t>(blackIsZero ? ~row[i] : row[i]);
      }
      // The bits past the row's last pixel are 0.
      m_out.back() &= static_cast<std::uint8_t>(0xff << (7 - (width + 7) % 8));
      return m_out;
    }
    // Every host format converts to BGR24, given the table: nothing to check.
    pixcv::SimplePixelConvert(width, row, m_image.GetColorFormat(), m_bgr.data(), utl::BGR24, 0,
                              m_table, false);
    // B, G, R bytes to grey levels (any channel) or to R, G, B samples.
    const std::size_t channels = m_out.size() / std::size_t(width);
    for (std::size_t i = 0; i < m_out.size(); ++i) {
      m_out[i] = m_bgr[channels == 3 ? i + 2 - 2 * (i % 3) : 3 * i];
    }
    return m_out;
  }

private:
  const qxio::TrImage& m_image;
  RGBQUAD m_table[256];
  char m_magic = '6';
  std::vector<std::uint8_t> m_bgr, m_out;
};

}  // namespace

bool HasMagic(const std::wstring& path) {
  utl::CBufferedFile file;
  if (!file.OpenNoThrow(path, "rb", utl::ShareRead, false)) return false;
  std::uint8_t start[3];
  return file.Read(start, sizeof start) == sizeof start && start[0] == 'P' && start[1] >= '1' &&
         start[1] <= '7' && (IsSpace(start[2]) || start[2] == '#');
}

Header ReadHeader(utl::CBufferedFile& file) {
  std::uint8_t magic[2] = {};
  if (file.Read(magic, 2) != 2 || magic[0] != 'P' || magic[1] < '1' || magic[1] > '7') {
    throw PnmError(utl::ErrorKind::UnknownFormat, "not a PNM file");
  }
  if (magic[1] == '7') {
    throw PnmError(utl::ErrorKind::UnknownFormat, "PAM (P7) files are not supported");
  }
  Scanner in(file);
  Header header;
  header.magic = static_cast<char>(magic[1]);
  header.width = SideLength(in, "width");
  header.height = SideLength(in, "height");
  if (header.Bitmap()) return header;
  const std::uint32_t maxval = HeaderNumber(in, "maxval");
  if (maxval == 0) NotValid("a maxval of 0");
  if (maxval > kLargestMaxval) NotValid("a maxval past 65535");
  header.maxval = maxval;
  return header;
}

const char* KindName(const Header& header) {
  return header.Bitmap() ? "PBM" : header.Channels() == 3 ? "PPM" : "PGM";
}

utl::ColorFormat HostFormat(const Header& header) {
  return header.Bitmap() ? utl::Gray1 : header.Channels() == 3 ? utl::BGR24 : utl::Gray8;
}

std::string PrecisionNotice(const Header& header) {
  if (header.maxval <= kByteMaxval) return "";
  return "16-bit samples (maxval " + std::to_string(header.maxval) + ") reduced to 8 bits";
}

qxio::TrImage ReadImage(const Header& header, utl::CBufferedFile& file, qxio::CProgress& progress) {
  CheckClaimedSize(header, file.GetLength() - file.GetPosition());
  qxio::TrImage image;
  image.SetScanlineStart(header.width, header.height, HostFormat(header), 0, 0, nullptr,
                         qxio::RowAccessByIndex, 0, progress.IProgressPtr());
  RowReader reader(header, file);
  for (int y = 0; y < header.height; ++y) {
    reader.Read(y, image.MutableRow(y));
    image.SetScanline(image.Row(y), y);
    progress.Proportion(double(y + 1) / header.height);
  }
  return image;
}

void WriteImage(const qxio::TrImage& image, utl::CBufferedFile& file, qxio::CProgress& progress) {
  WritePlan plan(image);
  const std::string header = plan.Header();
  file.Write(header.data(), header.size());
  for (int y = 0; y < image.GetHeight(); ++y) {
    const std::vector<std::uint8_t>& row = plan.Row(y);
    file.Write(row.data(), row.size());
    progress.Proportion(double(y + 1) / image.GetHeight());
  }
}

}  // namespace pnmio
