#include "core/hostmanager.h"

#include <cstdio>
#include <utility>

#include "core/progressbar.h"
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

// The first of the texts that is not empty.
std::string FirstOf(const std::wstring& text, const std::string& otherwise) {
  return text.empty() ? otherwise : utl::ToUtf8(text);
}

bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

}  // namespace

void Report(const std::string& file, const std::string& message) {
  std::fputs(ReportLine(file, message).c_str(), stderr);
}

std::string ReportLine(const std::string& file, const std::string& message) {
  return "qxhost: " + file + ": " + Trimmed(message) + "\n";
}

std::string InOurStyle(std::string sentence) {
  sentence = Trimmed(std::move(sentence));
  while (!sentence.empty() && sentence.back() == '.') sentence.pop_back();
  // "The" becomes "the"; "PNG" and "Sun raster" keep their capitals.
  const bool word = sentence.size() > 1 && IsUpper(sentence[0]) && !IsUpper(sentence[1]);
  if (word && sentence.compare(0, 4, "Sun ") != 0) sentence[0] = sentence[0] - 'A' + 'a';
  return sentence;
}

std::string DescribeError(const utl::IError& error, const std::wstring& path) {
  if (error.Path().empty() || error.Path() != path) {
    return InOurStyle(utl::ToUtf8(error.Sentence()));
  }
  const std::wstring& reason = error.Reason();
  const std::string message = InOurStyle(utl::ToUtf8(error.Message()));
  switch (error.Kind()) {
    case utl::ErrorKind::FileOpen:
      return FirstOf(reason, FirstOf(error.Message(), "cannot open the file"));
    case utl::ErrorKind::FileRead:
      // A filter that refuses what it reads keeps the host's fixed text as the message and
      // says what is wrong in the reason; a failed system call has its words as both.
      if (!reason.empty() && reason != error.Message()) return utl::ToUtf8(reason);
      return "cannot read: " + FirstOf(reason, message.empty() ? "no reason given" : message);
    case utl::ErrorKind::FileWrite:
      return "cannot write: " + FirstOf(reason, message.empty() ? "no reason given" : message);
    case utl::ErrorKind::UnknownFormat: return FirstOf(reason, "not in a format that can be read");
    case utl::ErrorKind::UnexpectedEof:
      return "the file ends before its image data does" +
             (reason.empty() ? "" : ": " + utl::ToUtf8(reason));
    case utl::ErrorKind::NotImplemented:
      return message.empty() ? "the filter does not support this operation" : message;
    default: return InOurStyle(utl::ToUtf8(error.Sentence()));
  }
}

HostManager::HostManager(ProgressBar* bar, bool quiet) : m_bar(bar), m_quiet(quiet) {}

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

void HostManager::Note(const std::string& file, const std::string& message) {
  if (!m_quiet) Say(file, message);
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
  if (m_bar) m_bar->Clear();
}

int HostManager::OnWarning(utl::IError::WarnStyle /*style*/, const std::wstring& message) {
  m_warnings.push_back(InOurStyle(utl::ToUtf8(message)));
  return 0;
}

// The object is destroyed when this returns, so the image is moved out here.
void HostManager::OnObjectImported(qxio::TrBase& object) {
  if (object.GetTypeId() != qxio::TrImage::GetClassTypeId() || m_image) return;
  m_image.emplace(std::move(static_cast<qxio::TrImage&>(object)));
}

}  // namespace qxhost
