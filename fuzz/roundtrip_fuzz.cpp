// Fuzz target: an image of any host colour format, exported with the export filter and
// imported back with the import filter, must come back as the export documents it:
//   Gray1 -> 1-bit, map black, white          Indexed1 -> 1-bit, the image's first 2 entries
//   Gray4 -> 8-bit, 16-entry ramp i * 17      Indexed4 -> 8-bit, pixels one per byte
//   Gray8 -> 8-bit, identity ramp             Indexed8 -> 8-bit, the image's table
//   BGR24 -> 24-bit, BGRA32 -> 32-bit         every other format -> 24-bit, converted to BGR24
// and on import 1-bit -> Indexed1, 8-bit -> Indexed8, 24 -> BGR24, 32 -> BGRA32. Colour-map
// entries past the image's table are black. An image without pixels is refused.
//
// Input: format, width, height, table size, the table's entries (4 bytes each), the rows.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

#include "fuzzsupport.h"
#include "pixcv/convert.h"
#include "qxio/transport.h"
#include "sunexportfilter.h"
#include "sunimportfilter.h"
#include "utl/colorformat.h"
#include "utl/error.h"

namespace fs = std::filesystem;

namespace {

using vemra::fuzz::Be32;
using vemra::fuzz::ByteStream;
using vemra::fuzz::Require;
using Bytes = std::vector<std::uint8_t>;

struct Expected {
  int depth;
  utl::ColorFormat imported;
  int greyEntries;  // a grey ramp of this many entries; 0 for the image's own table
  bool nibbles;     // 4-bit pixels, one per byte
  bool converted;   // through the host's converter into BGR24
};

Expected ExpectedFor(utl::ColorFormat format) {
  switch (format) {
    case utl::Gray1: return {1, utl::Indexed1, 2, false, false};
    case utl::Gray4: return {8, utl::Indexed8, 16, true, false};
    case utl::Gray8: return {8, utl::Indexed8, 256, false, false};
    case utl::Indexed1: return {1, utl::Indexed1, 0, false, false};
    case utl::Indexed4: return {8, utl::Indexed8, 0, true, false};
    case utl::Indexed8: return {8, utl::Indexed8, 0, false, false};
    case utl::BGR24: return {24, utl::BGR24, 0, false, false};
    case utl::BGRA32: return {32, utl::BGRA32, 0, false, false};
    default: return {24, utl::BGR24, 0, false, true};
  }
}

std::size_t FilesIn(const fs::path& dir) {
  std::error_code ec;
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir, ec), {}));
}

// The colour of table entry i as the file should carry it.
RGBQUAD MapEntry(const Expected& e, const qxio::TrImage& image, int i) {
  if (e.greyEntries > 0) {
    if (i >= e.greyEntries) return {0, 0, 0, 0};
    const auto level = static_cast<std::uint8_t>(i * 255 / (e.greyEntries - 1));
    return {level, level, level, 0};
  }
  const int kept = static_cast<int>(
      std::min<unsigned>(1u << e.depth, image.GetNumColorTableEntriesUsed()));
  RGBQUAD entry{0, 0, 0, 0};
  if (i < kept) image.GetColorTable(&entry, i, 1);
  entry.rgbReserved = 0;
  return entry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteStream in(data, size);
  const auto format = static_cast<utl::ColorFormat>(in.Byte() % (utl::kColorFormatCount + 1));
  const int width = in.Byte() % 180;
  const int height = in.Byte() % 12;
  const std::uint8_t sizeByte = in.Byte();
  const unsigned tableSize = sizeByte == 255 ? 256 : sizeByte;
  std::vector<RGBQUAD> table(256, RGBQUAD{0, 0, 0, 0});
  for (unsigned i = 0; i < tableSize; ++i) {
    table[i] = RGBQUAD{in.Byte(), in.Byte(), in.Byte(), in.Byte()};
  }

  qxio::TrImage image;
  try {
    image.SetScanlineStart(width, height, format, 0, 0, table.data(), qxio::RowAccessByIndex,
                           tableSize, nullptr);
  } catch (const utl::IError&) {
    Require(utl::BitsPerPixel(format) == 0, "the host refuses only unknown formats");
    return 0;
  }
  Bytes row(image.RowBytes());
  for (int y = 0; y < height && !row.empty(); ++y) {
    for (auto& b : row) b = in.Byte();
    image.SetScanline(row.data(), y);
  }

  // A folder of its own, so that any file the export leaves behind is seen.
  const fs::path dir = vemra::fuzz::ScratchDir() / "roundtrip";
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  const fs::path target = dir / "image.ras";

  vemra::fuzz::KeepingManager manager;
  std::optional<utl::ErrorKind> exportError;
  qxio::ExportStatus exported = qxio::ExportNotTaken;
  qxio::ExportStatus ended;
  {
    vemra::SunExportFilter exporter(manager);
    exporter.BeginExport(vemra::fuzz::Wide(target));
    qxio::TrInitGraphicsExp init;
    Require(exporter.ExportObject(init) == qxio::ExportDone && init.m_filterFlag,
            "the graphics request is answered");
    try {
      exported = exporter.ExportObject(image);
    } catch (const utl::IError& error) {
      exportError = error.Kind();
    }
    ended = exporter.EndExport();
  }

  if (width == 0 || height == 0) {
    Require(exportError == utl::ErrorKind::Internal, "an image without pixels is refused");
    Require(ended == qxio::ExportNothingExported, "a refused image ends with nothing exported");
    Require(FilesIn(dir) == 0, "a refused export leaves no file");
    return 0;
  }
  Require(!exportError && exported == qxio::ExportDone && ended == qxio::ExportDone,
          "the image is exported");
  Require(FilesIn(dir) == 1, "the export leaves exactly its target");

  const Expected e = ExpectedFor(format);
  std::ifstream stream(target, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
  const std::uint32_t rowBytes = static_cast<std::uint32_t>(vemra::bytesPerRow(width, e.depth));
  const std::uint32_t mapBytes = e.depth <= 8 ? 3u << e.depth : 0;
  Require(file.size() == 32 + mapBytes + std::size_t{rowBytes} * height, "file size");
  const std::uint32_t header[8] = {0x59A66A95,    std::uint32_t(width), std::uint32_t(height),
                                   std::uint32_t(e.depth), rowBytes * height, 1,
                                   e.depth <= 8 ? 1u : 0u, mapBytes};
  for (int i = 0; i < 8; ++i) Require(Be32(file.data() + 4 * i) == header[i], "header fields");

  vemra::SunImportFilter importer(manager);
  importer.ImportFromFile(vemra::fuzz::Wide(target));
  Require(manager.m_images == 1 && manager.m_warnings == 0, "imported without warning");
  const qxio::TrImage& back = *manager.m_image;
  Require(back.GetWidth() == width && back.GetHeight() == height &&
              back.GetColorFormat() == e.imported,
          "size and colour format come back");

  if (e.depth <= 8) {
    Require(back.GetNumColorTableEntriesUsed() == (1u << e.depth), "a full colour table");
    for (int i = 0; i < (1 << e.depth); ++i) {
      RGBQUAD got;
      back.GetColorTable(&got, i, 1);
      const RGBQUAD want = MapEntry(e, image, i);
      Require(got.rgbRed == want.rgbRed && got.rgbGreen == want.rgbGreen &&
                  got.rgbBlue == want.rgbBlue,
              "colour-map entry");
    }
  }

  Bytes want(back.RowBytes());
  Bytes wide(std::size_t(width) * 4);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* source = image.Row(y);
    if (e.nibbles) {
      for (int x = 0; x < width; ++x) {
        want[x] = x % 2 == 0 ? source[x / 2] >> 4 : source[x / 2] & 0x0F;
      }
    } else if (e.converted) {
      Require(pixcv::SimplePixelConvert(width, source, format, wide.data(), utl::BGR24, 0,
                                        nullptr, false),
              "the host converts the format");
      std::memcpy(want.data(), wide.data(), want.size());
    } else {
      Require(image.RowBytes() == want.size(), "row length kept");
      std::memcpy(want.data(), source, want.size());
    }
    Require(std::memcmp(back.Row(y), want.data(), want.size()) == 0, "pixels come back");
  }
  return 0;
}
