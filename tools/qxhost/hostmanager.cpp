#include "hostmanager.h"

#include <cstdio>
#include <utility>

#include "progressbar.h"
#include "utl/path.h"
#include "utl/text.h"

namespace qxhost {

namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// Drops a leading "PATH:" that repeats the file the line names, and the spaces after it.
std::wstring WithoutPath(const std::wstring& message, const std::wstring& path) {
  if (path.empty() || message.compare(0, path.size() + 1, path + L":") != 0) return message;
  const std::size_t text = message.find_first_not_of(L' ', path.size() + 1);
  return text == std::wstring::npos ? std::wstring() : message.substr(text);
}

std::string ReasonOr(const std::wstring& reason, const char* otherwise) {
  return reason.empty() ? otherwise : utl::ToUtf8(reason);
}

}  // namespace

void Report(const std::string& file, const std::string& message) {
  std::fputs(ReportLine(file, message).c_str(), stderr);
}

std::string ReportLine(const std::string& file, const std::string& message) {
  return "qxhost: " + file + ": " + Trimmed(message) + "\n";
}

std::string DescribeError(const utl::IError& error, const std::wstring& path) {
  if (error.Path().empty() || error.Path() != path) return utl::ToUtf8(error.Sentence());
  const std::wstring& reason = error.Message();
  switch (error.Kind()) {
    case utl::ErrorKind::FileOpen: return ReasonOr(reason, "cannot open the file");
    case utl::ErrorKind::FileRead:
      return "cannot read: " + ReasonOr(reason, "the system gave no reason");
    case utl::ErrorKind::FileWrite:
      return "cannot write: " + ReasonOr(reason, "the system gave no reason");
    case utl::ErrorKind::UnknownFormat: return "not in a format that can be read";
    case utl::ErrorKind::UnexpectedEof: return "the file ends before its image data does";
    case utl::ErrorKind::NotImplemented:
      return ReasonOr(reason, "the filter does not support this operation");
    default: return utl::ToUtf8(error.Sentence());
  }
}

HostManager::HostManager(ProgressBar* bar) : m_bar(bar) {}

std::optional<qxio::TrImage> HostManager::TakeImage() {
  std::optional<qxio::TrImage> image = std::move(m_image);
  m_image.reset();
  return image;
}

void HostManager::ClearProgress() {
  if (m_bar) m_bar->Clear();
}

void HostManager::Say(const std::string& file, const std::string& message) {
  if (m_keepLines) {
    m_lines.push_back(ReportLine(file, message));
  } else {
    ClearProgress();
    Report(file, message);
  }
}

void HostManager::ProgressStart(const std::wstring& /*title*/, bool /*cancellable*/,
                                bool /*showProportion*/) {
  if (m_bar) m_bar->Start();
}

void HostManager::ProgressProportion(double fraction) {
  if (m_bar) m_bar->Proportion(fraction);
}

// Filters name the file they work on; a temporary file standing in for a standard stream is
// named as the stream.
void HostManager::ProgressMessage(const std::wstring& message) {
  if (!m_bar) return;
  const std::wstring name = utl::CPath(m_subject.path).GetNameAndExtension();
  const std::size_t at = name.empty() ? std::wstring::npos : message.find(name);
  if (m_subject.shown == m_subject.path || at == std::wstring::npos) {
    m_bar->Message(message);
  } else {
    m_bar->Message(std::wstring(message).replace(at, name.size(), m_subject.shown));
  }
}

void HostManager::ProgressEnd() {
  if (m_bar) m_bar->End();
}

int HostManager::OnWarning(utl::IError::WarnStyle /*style*/, const std::wstring& message) {
  Say(utl::ToUtf8(m_subject.shown),
      "warning: " + Trimmed(utl::ToUtf8(WithoutPath(message, m_subject.path))));
  ++m_warnings;
  return 0;
}

// The object is destroyed when this returns, so the image is moved out here.
void HostManager::OnObjectImported(qxio::TrBase& object) {
  if (object.GetTypeId() != qxio::TrImage::GetClassTypeId() || m_image) return;
  m_image.emplace(std::move(static_cast<qxio::TrImage&>(object)));
}

}  // namespace qxhost
