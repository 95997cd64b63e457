#include "recordingmanager.h"

#include <utility>

namespace vemra::test {

void RecordingManager::Clear() {
  m_options.clear();
  m_progressStarts.clear();
  m_proportions.clear();
  m_messages.clear();
  m_progressEnds = 0;
  m_warnings.clear();
  m_errors.clear();
  m_images.clear();
  m_otherObjects = 0;
}

void RecordingManager::SetOption(const std::wstring& name, bool enabled, bool visible) {
  m_options.push_back({name, enabled, visible});
}

void RecordingManager::ProgressStart(const std::wstring& title, bool cancellable,
                                     bool showProportion) {
  m_progressStarts.push_back({title, cancellable, showProportion});
  if (m_onProgressStart) m_onProgressStart();
}

void RecordingManager::ProgressProportion(double fraction) {
  m_proportions.push_back(fraction);
  if (m_onProportion) m_onProportion(fraction);
}

void RecordingManager::ProgressMessage(const std::wstring& message) {
  m_messages.push_back(message);
  if (m_onMessage) m_onMessage();
}

void RecordingManager::ProgressEnd() { ++m_progressEnds; }

int RecordingManager::OnWarning(utl::IError::WarnStyle style, const std::wstring& message) {
  m_warnings.push_back({static_cast<int>(style), message});
  return 0;
}

void RecordingManager::OnError(const utl::IError& error) {
  m_errors.push_back({error.Kind(), error.Path(), error.Message(), error.Sentence(), error.Line()});
}

void RecordingManager::OnObjectImported(qxio::TrBase& object) {
  if (object.GetTypeId() == qxio::TrImage::GetClassTypeId()) {
    m_images.push_back(
        std::make_unique<qxio::TrImage>(std::move(static_cast<qxio::TrImage&>(object))));
  } else {
    ++m_otherObjects;
  }
}

}  // namespace vemra::test
