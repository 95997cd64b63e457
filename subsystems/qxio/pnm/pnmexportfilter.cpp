#include "pnmexportfilter.h"

#include "pnmformat.h"
#include "utl/path.h"

namespace pnmio {

namespace {

constexpr qxio::FilterDescriptor kDescriptor = {"$QXIO_FILT$", 100, u"pnm", qxio::FilterKindExport};

}  // namespace

PnmExportFilter::PnmExportFilter(qxio::IoManager& manager) : IoExportFilter(manager) {}

PnmExportFilter::~PnmExportFilter() = default;  // an unfinished save removes its file

const qxio::FilterDescriptor* PnmExportFilter::GetFilterDescriptor() const {
  return &kDescriptor;
}

bool PnmExportFilter::SupportsType(const utl::CTypeInfo* type) const {
  return type == qxio::TrImage::GetClassTypeId() ||
         type == qxio::TrInitGraphicsExp::GetClassTypeId();
}

qxio::ExportStatus PnmExportFilter::BeginExport(const std::wstring& path) {
  m_written = false;
  try {
    m_output.Begin(path);  // which discards a save under way
  } catch (const utl::CError& error) {
    Raise(error);
  }
  return qxio::ExportDone;
}

qxio::ExportStatus PnmExportFilter::ExportObject(qxio::TrBase& object) {
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

void PnmExportFilter::WriteImage(const qxio::TrImage& image) {
  if (image.GetHeight() < 1) {
    ThrowError(QXIO_WFILE, __LINE__, L"PNM cannot hold an image of no rows");
  }
  if (image.GetWidth() < 1) {
    ThrowError(QXIO_WFILE, __LINE__, L"PNM cannot hold an image of no columns");
  }
  qxio::CProgress progress(&GetManager());
  progress.MessageVA(L"Writing PNM file %s",
                     utl::CPath(m_output.Target()).GetNameAndExtension().c_str());
  pnmio::WriteImage(image, m_output.File(), progress);
}

qxio::ExportStatus PnmExportFilter::EndExport() {
  if (!m_output.IsActive()) Throw_ERR_END_BEFORE_BEGIN(QXIO_WFILE, __LINE__);
  if (!m_written) {
    m_output.Discard();
    return qxio::ExportNothingExported;
  }
  m_output.Commit();  // on failure nothing of the save remains
  return qxio::ExportDone;
}

}  // namespace pnmio
