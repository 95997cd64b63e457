#include "hostmanager.h"

#include <cstdio>
#include <utility>

#include "progressbar.h"
#include "utl/text.h"

namespace qxhost {

namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

void PrintWarning(const std::wstring& message) {
  std::fprintf(stderr, "warning: %s\n", Trimmed(utl::ToUtf8(message)).c_str());
}

}  // namespace

void PrintError(const std::string& file, const std::string& message) {
  std::fprintf(stderr, "error: %s: %s\n", file.c_str(), Trimmed(message).c_str());
}

void PrintWarning(const std::string& file, const std::string& message) {
  std::fprintf(stderr, "qxhost: %s: warning: %s\n", file.c_str(), Trimmed(message).c_str());
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

void HostManager::ProgressStart(const std::wstring& /*title*/, bool /*cancellable*/,
                                bool /*showProportion*/) {
  if (m_bar) m_bar->Start();
}

void HostManager::ProgressProportion(double fraction) {
  if (m_bar) m_bar->Proportion(fraction);
}

void HostManager::ProgressMessage(const std::wstring& message) {
  if (m_bar) m_bar->Message(message);
}

void HostManager::ProgressEnd() {
  if (m_bar) m_bar->End();
}

int HostManager::OnWarning(utl::IError::WarnStyle /*style*/, const std::wstring& message) {
  ClearProgress();
  PrintWarning(message);
  ++m_warnings;
  return 0;
}

// The object is destroyed when this returns, so the image is moved out here.
void HostManager::OnObjectImported(qxio::TrBase& object) {
  if (object.GetTypeId() != qxio::TrImage::GetClassTypeId() || m_image) return;
  m_image.emplace(std::move(static_cast<qxio::TrImage&>(object)));
}

}  // namespace qxhost
