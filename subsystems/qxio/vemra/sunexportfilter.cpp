#include "sunexportfilter.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <vector>

#include "descriptors.h"
#include "pixcv/convert.h"
#include "pixcv/pixels.h"
#include "qxio/manager.h"
#include "qxio/transport.h"
#include "utl/colorformat.h"
#include "utl/error.h"
#include "utl/text.h"

namespace vemra {

enum class RowPath {
  Direct,   // the image's rows are already in the file's memory order
  Invert1,  // 1-bit pixels with 0 black, stored with 1 black
  Expand4,  // 4-bit pixels, one per byte at depth 8
  Convert,  // through the host's converter into BGR24
};

struct ExportPlan {
  std::int32_t depth;
  RowPath path;
  int greyEntries;      // entries of a grey ramp over 0..255; 0 for none
  bool usesColorTable;  // the image's own colour table
  bool colorMap;        // at depths 1 and 8: the file carries a colour map
};

namespace {

constexpr const wchar_t* kPixelFormatMessage =
    L"Pixel format of export image is not compatible with Sun Raster file format.  Can't "
    L"export.\n";
constexpr const wchar_t* kTooLargeMessage =
    L"Image of %d x %d pixels at %d bits per pixel is too large for the Sun Raster file "
    L"format.  Can't export.\n";
constexpr const wchar_t* kNoColumnsMessage =
    L"Image of %d x %d pixels has no columns, which the Sun Raster file format cannot hold.  "
    L"Can't export.\n";
constexpr const wchar_t* kCannotTakeBackReason =
    L"; the header of a run-length encoded file is completed once its data is written, which a "
    L"pipe or a device cannot take back";
constexpr const wchar_t* kExtraImagesWarning =
    L"An attempt was made to export a document containing more than one image.  The Sun "
    L"Raster file format only supports one image (one bitmap) per file.  Ignoring additional "
    L"images.";

// Black-and-white 1-bit images are stored without a map, where every reader agrees that
// 1 is black; a map of two colours is read the other way round by some readers.
ExportPlan PlanFor(utl::ColorFormat format) {
  switch (format) {
    case utl::Gray1: return {1, RowPath::Invert1, 0, false, false};
    case utl::Gray4:  // its pixels are 0..15, so the ramp has 16 steps
      return {8, RowPath::Expand4, 16, false, true};
    case utl::Gray8: return {8, RowPath::Direct, 256, false, true};
    case utl::Indexed1: return {1, RowPath::Direct, 0, true, true};
    case utl::Indexed4: return {8, RowPath::Expand4, 0, true, true};
    case utl::Indexed8: return {8, RowPath::Direct, 0, true, true};
    case utl::BGR24: return {24, RowPath::Direct, 0, false, false};
    case utl::BGRA32: return {32, RowPath::Direct, 0, false, false};
    default: return {24, RowPath::Convert, 0, false, false};
  }
}

// An Indexed1 table of black and white, in either order, needs no map: its pixels are
// stored as they are when entry 0 is white, inverted when entry 0 is black. The entries a
// table lacks are black.
void PlanOneBitTable(ExportPlan& plan, const RGBQUAD* map) {
  const bool blackFirst = pixcv::IsGreyLevel(map[0], 0) && pixcv::IsGreyLevel(map[1], 255);
  const bool whiteFirst = pixcv::IsGreyLevel(map[0], 255) && pixcv::IsGreyLevel(map[1], 0);
  if (!blackFirst && !whiteFirst) return;
  plan.colorMap = false;
  plan.path = blackFirst ? RowPath::Invert1 : RowPath::Direct;
}

// The bits past the last pixel stay 0, as the image holds them.
void InvertBits(const std::uint8_t* source, std::int32_t width, std::uint8_t* output) {
  const std::size_t bytes = pixcv::PackedRowBytes(width, 1);
  for (std::size_t i = 0; i < bytes; ++i) output[i] = static_cast<std::uint8_t>(~source[i]);
  if (width % 8 != 0) output[bytes - 1] &= static_cast<std::uint8_t>(0xFF00 >> (width % 8));
}

void ExpandNibbles(const std::uint8_t* source, std::int32_t width, std::uint8_t* output) {
  for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
    output[x] = static_cast<std::uint8_t>(pixcv::PackedSample(source, x, 4));
  }
}

// Option words: "Compression=None" (standard files, the default) or "Compression=RLE"
// (run-length encoded files), any letter case, spaces around the words ignored.
constexpr const wchar_t* kCompressionOption = L"compression";
constexpr const wchar_t* kCompressionNone = L"none";
constexpr const wchar_t* kCompressionRunLength = L"rle";

std::wstring TrimmedLower(const std::wstring& text) {
  const std::size_t first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return {};
  return utl::LowerCase(text.substr(first, text.find_last_not_of(L" \t") - first + 1));
}

}  // namespace

SunExportFilter::SunExportFilter(qxio::IoManager& manager) : qxio::IoExportFilter(manager) {
  for (const wchar_t* name : {L"ExportImageFormatBGRA32", L"ExportImageFormatBGR24",
                              L"ExportImageFormatIndexed8", L"ExportImageFormatIndexed1"}) {
    manager.SetOption(name, true, true);
  }
}

// Only what an unfinished transfer wrote is removed: the target never changes unless
// EndExport completes.
SunExportFilter::~SunExportFilter() {
  DiscardTransfer();
}

// Items "Name=Value" separated by the delimiter; an empty item is no item. A name or value
// the filter does not know refuses the whole string and changes nothing.
bool SunExportFilter::SetOptionsFromString(const std::wstring& options) {
  bool runLength = m_runLength;
  std::size_t start = 0;
  while (start <= options.size()) {
    std::size_t end = options.find(GetOptionStringDelimiter(), start);
    if (end == std::wstring::npos) end = options.size();
    const std::wstring item = options.substr(start, end - start);
    start = end + 1;
    if (TrimmedLower(item).empty()) continue;
    const std::size_t equals = item.find(L'=');
    if (equals == std::wstring::npos) return false;
    const std::wstring name = TrimmedLower(item.substr(0, equals));
    const std::wstring value = TrimmedLower(item.substr(equals + 1));
    if (name != kCompressionOption) return false;
    if (value == kCompressionNone) {
      runLength = false;
    } else if (value == kCompressionRunLength) {
      runLength = true;
    } else {
      return false;
    }
  }
  m_runLength = runLength;
  return true;
}

std::wstring SunExportFilter::GetOptionsInStringForm() const {
  return m_runLength ? L"Compression=RLE" : L"Compression=None";
}

const qxio::FilterDescriptor* SunExportFilter::GetFilterDescriptor() const {
  return &kExportDescriptor;
}

bool SunExportFilter::SupportsType(const utl::CTypeInfo* type) const {
  return type == qxio::TrImage::GetClassTypeId() ||
         type == qxio::TrInitGraphicsExp::GetClassTypeId();
}

// The image is written beside the target and put in its place only when EndExport has a
// complete image, so a failed or abandoned export never loses what the target held before.
qxio::ExportStatus SunExportFilter::BeginExport(const std::wstring& path) {
  DiscardTransfer();
  try {
    m_output.Begin(path);
  } catch (const utl::CError& error) {
    Raise(error);
  }
  try {
    m_progress = std::make_unique<qxio::CProgress>(&GetManager());
    m_progress->MessageVA(L"Exporting SUN data to file %s", m_output.Target().c_str());
  } catch (...) {
    // A transfer without progress would fail later; leave no half-begun export behind.
    DiscardTransfer();
    throw;
  }
  m_numImagesExported = 0;
  return qxio::ExportDone;
}

qxio::ExportStatus SunExportFilter::ExportObject(qxio::TrBase& object) {
  if (AnswerGraphicsRequest(object)) return qxio::ExportDone;
  if (object.GetTypeId() == qxio::TrImage::GetClassTypeId()) {
    return ExportImage(static_cast<const qxio::TrImage&>(object));
  }
  return qxio::ExportNotTaken;
}

qxio::ExportStatus SunExportFilter::EndExport() {
  if (!m_output.IsActive()) Throw_ERR_END_BEFORE_BEGIN(QXIO_WFILE, __LINE__);
  const bool hasImage = m_numImagesExported >= 1;
  try {
    if (hasImage) m_output.Commit();
  } catch (...) {
    DiscardTransfer();
    throw;
  }
  DiscardTransfer();
  return hasImage ? qxio::ExportDone : qxio::ExportNothingExported;
}

void SunExportFilter::DiscardTransfer() noexcept {
  m_output.Discard();
  m_progress.reset();
}

qxio::ExportStatus SunExportFilter::ExportImage(const qxio::TrImage& image) {
  if (!m_output.IsActive() || !m_progress) {
    ThrowError(QXIO_WFILE, __LINE__,
               L"An image was handed to the Sun Raster export filter "
               L"before an export was begun.\n");
  }
  if (m_numImagesExported >= 1) {
    if (!m_warnedExtraImages) Warning(utl::IError::WarnStyleDefault, kExtraImagesWarning);
    m_warnedExtraImages = true;
    return qxio::ExportNotTaken;
  }

  const utl::ColorFormat format = image.GetColorFormat();
  ExportPlan plan = PlanFor(format);

  std::vector<RGBQUAD> map(kMaxPaletteEntries, RGBQUAD{0, 0, 0, 0});
  if (plan.greyEntries > 0) {
    FillGreyRamp(map.data(), plan.greyEntries);
  } else if (plan.usesColorTable) {
    const unsigned count = std::min(1u << plan.depth, image.GetNumColorTableEntriesUsed());
    if (count > 0) image.GetColorTable(map.data(), 0, static_cast<int>(count));
    if (plan.depth == 1) PlanOneBitTable(plan, map.data());
  }

  // An earlier image of this transfer failed part-way: start the file afresh rather than
  // append a second image to its remains.
  if (m_output.File().GetPosition() != 0) m_output.Begin(m_output.Target());

  const std::int32_t width = image.GetWidth();
  const std::int32_t height = image.GetHeight();
  WriteLayout layout;
  layout.runLength = m_runLength;
  layout.colorMap = plan.colorMap;
  const int status = m_writer.WriteHeader(&m_output.File(), width, height, plan.depth,
                                          plan.depth <= 8 ? map.data() : nullptr, layout);
  switch (status) {
    case kWriteOk: break;
    case kWriteFailed:
      Throw_ERR_FILE_WRITE(QXIO_WFILE, __LINE__, m_output.Target(),
                           L"Failed formatting data for writing and/or failed writing data "
                           L"to file",
                           m_output.File().LastSystemError());
    case kWriteUnsupportedDepth: ThrowError(QXIO_WFILE, __LINE__, kPixelFormatMessage);
    case kWriteTooLarge:
      ThrowError(QXIO_WFILE, __LINE__, kTooLargeMessage, width, height, plan.depth);
    case kWriteBadArgument:  // the image has a size, so only its width can be refused here
      ThrowError(QXIO_WFILE, __LINE__, kNoColumnsMessage, width, height);
    default: Throw_ERR_INTERNAL(QXIO_WFILE, __LINE__);
  }
  WriteRows(image, plan);
  if (m_writer.Finish() != kWriteOk) {
    // A pipe cannot be positioned, and the system's words alone would not tell why that
    // matters; a full disk says so itself.
    std::wstring reason = m_output.File().LastSystemError();
    if (reason == utl::ErrnoText(ESPIPE)) reason += kCannotTakeBackReason;
    Throw_ERR_FILE_WRITE(QXIO_WFILE, __LINE__, m_output.Target(), L"File write failed", reason);
  }

  m_progress->Proportion(1.0);
  ++m_numImagesExported;
  return qxio::ExportDone;
}

void SunExportFilter::WriteRows(const qxio::TrImage& image, const ExportPlan& plan) {
  const utl::ColorFormat format = image.GetColorFormat();
  const std::int32_t width = image.GetWidth();
  const std::int32_t height = image.GetHeight();
  // One row in the image's own format, and one row of what the writer takes: 3 bytes a pixel
  // converted, 1 byte expanded, the bits inverted. An image without rows gets none: its width
  // alone may claim hundreds of MiB.
  const auto pixels = static_cast<std::size_t>(height > 0 ? width : 0);
  const std::size_t sourceBytes = height > 0 ? image.RowBytes() : 0;
  std::vector<std::uint8_t> source(sourceBytes, 0);
  std::vector<std::uint8_t> output;
  if (plan.path == RowPath::Convert) output.resize(pixels * 3);
  if (plan.path == RowPath::Expand4) output.resize(pixels);
  if (plan.path == RowPath::Invert1) output.resize(sourceBytes);

  image.GetScanlineStart();
  for (std::int32_t i = 0; i < height; ++i) {
    image.GetScanline(source.data(), i);
    const std::uint8_t* row = output.empty() ? source.data() : output.data();
    switch (plan.path) {
      case RowPath::Direct: break;
      case RowPath::Invert1: InvertBits(source.data(), width, output.data()); break;
      case RowPath::Expand4: ExpandNibbles(source.data(), width, output.data()); break;
      case RowPath::Convert:  // every host format converts to BGR24: nothing to check
        pixcv::SimplePixelConvert(width, source.data(), format, output.data(), utl::BGR24, 0,
                                  nullptr, false);
        break;
    }
    switch (m_writer.WriteScanline(row)) {
      case kWriteOk: break;
      case kWriteTooLarge:  // run-length data grown past the length field
        ThrowError(QXIO_WFILE, __LINE__, kTooLargeMessage, width, height, plan.depth);
      default:
        Throw_ERR_FILE_WRITE(QXIO_WFILE, __LINE__, m_output.Target(), L"File write failed",
                             m_output.File().LastSystemError());
    }
    if (i % 32 == 0 || i == height - 1) {
      m_progress->Proportion(static_cast<double>(i) / static_cast<double>(height));
    }
  }
  image.GetScanlineEnd();
}

}  // namespace vemra
