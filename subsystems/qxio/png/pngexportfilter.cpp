#include "pngexportfilter.h"

#include "pngformat.h"
#include "utl/path.h"
#include "utl/text.h"

namespace pngio {

namespace {

constexpr qxio::FilterDescriptor kDescriptor = {"$QXIO_FILT$", 100, u"png", qxio::FilterKindExport};

}  // namespace

PngExportFilter::PngExportFilter(qxio::IoManager& manager) : IoExportFilter(manager) {}

PngExportFilter::~PngExportFilter() = default;  // an unfinished save removes its file

const qxio::FilterDescriptor* PngExportFilter::GetFilterDescriptor() const {
  return &kDescriptor;
}

bool PngExportFilter::SupportsType(const utl::CTypeInfo* type) const {
  return type == qxio::TrImage::GetClassTypeId() ||
         type == qxio::TrInitGraphicsExp::GetClassTypeId();
}

qxio::ExportStatus PngExportFilter::BeginExport(const std::wstring& path) {
  m_written = false;
  try {
    m_output.Begin(path);
  } catch (const utl::CError& error) {
    Raise(error);
  }
  return qxio::ExportDone;
}

qxio::ExportStatus PngExportFilter::ExportObject(qxio::TrBase& object) {
  if (AnswerGraphicsRequest(object)) return qxio::ExportDone;
  if (object.GetTypeId() != qxio::TrImage::GetClassTypeId() || m_written) {
    return qxio::ExportNotTaken;
  }
  if (!m_output.IsActive()) Throw_ERR_END_BEFORE_BEGIN(QXIO_WFILE, __LINE__);
  try {
    WriteImage(static_cast<const qxio::TrImage&>(object));
  } catch (...) {
    m_output.Discard();  // a failed image leaves no file
    throw;
  }
  m_written = true;
  return qxio::ExportDone;
}

void PngExportFilter::WriteImage(const qxio::TrImage& image) {
  if (image.GetHeight() < 1)
    ThrowError(QXIO_WFILE, __LINE__, L"PNG cannot hold an image of no rows");
  if (image.GetWidth() < 1) {
    ThrowError(QXIO_WFILE, __LINE__, L"PNG cannot hold an image of no columns");
  }
  const WritePlan plan(image, kEncodesSixteenBits);
  qxio::CProgress progress(&GetManager());
  progress.MessageVA(L"Writing PNG file %s",
                     utl::CPath(m_output.Target()).GetNameAndExtension().c_str());
  try {
    Encode(plan, image, m_output.File(), progress);
  } catch (const PngError& error) {
    ThrowError(QXIO_WFILE, __LINE__, L"%s", utl::FromUtf8(error.what()).c_str());
  }
  progress.Proportion(1.0);
}

qxio::ExportStatus PngExportFilter::EndExport() {
  if (!m_output.IsActive()) Throw_ERR_END_BEFORE_BEGIN(QXIO_WFILE, __LINE__);
  if (!m_written) {
    m_output.Discard();
    return qxio::ExportNothingExported;
  }
  m_output.Commit();  // on failure nothing of the save remains
  return qxio::ExportDone;
}

}  // namespace pngio
