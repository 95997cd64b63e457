#include "qxio/manager.h"

#include <cstdarg>

#include "qxio/transport.h"
#include "utl/text.h"

namespace qxio {

IoManager::IoManager() = default;
IoManager::~IoManager() = default;

void IoManager::SetOption(const std::wstring& /*name*/, bool /*enabled*/, bool /*visible*/) {}
void IoManager::ProgressStart(const std::wstring& /*title*/, bool /*cancellable*/,
                              bool /*showProportion*/) {}
void IoManager::ProgressProportion(double /*fraction*/) {}
void IoManager::ProgressMessage(const std::wstring& /*message*/) {}
void IoManager::ProgressEnd() {}
int IoManager::OnWarning(utl::IError::WarnStyle /*style*/, const std::wstring& /*message*/) {
  return 0;
}
void IoManager::OnError(const utl::IError& /*error*/) {}
void IoManager::OnObjectImported(TrBase& /*object*/) {}

IProgress::~IProgress() = default;

CProgress::CProgress(IoManager* manager) : m_manager(manager) {
  if (m_manager) m_manager->ProgressStart(std::wstring(), true, true);
}

CProgress::~CProgress() {
  if (m_manager) m_manager->ProgressEnd();
}

void CProgress::Proportion(double fraction) {
  if (m_manager) m_manager->ProgressProportion(fraction);
}

void CProgress::MessageVA(const wchar_t* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::wstring message = utl::FormatV(format, args);
  va_end(args);
  if (m_manager) m_manager->ProgressMessage(message);
}

std::uint64_t CProgress::MaxPixels() const {
  return m_manager ? m_manager->GetMaxPixels() : IoManager::kDefaultMaxPixels;
}

}  // namespace qxio
