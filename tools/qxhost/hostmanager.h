// qxhost's I/O manager: shows progress, prints warnings and keeps the image an import hands over.
#pragma once

#include <optional>
#include <string>

#include "qxio/manager.h"
#include "qxio/transport.h"

namespace qxhost {

class ProgressBar;

class HostManager final : public qxio::IoManager {
public:
  // bar may be null: no progress is shown.
  explicit HostManager(ProgressBar* bar);

  // The image of the last import, if one was handed over; the manager forgets it.
  std::optional<qxio::TrImage> TakeImage();
  int Warnings() const { return m_warnings; }
  // Takes the progress line away before other output goes to the terminal.
  void ClearProgress();

protected:
  void ProgressStart(const std::wstring& title, bool cancellable, bool showProportion) override;
  void ProgressProportion(double fraction) override;
  void ProgressMessage(const std::wstring& message) override;
  void ProgressEnd() override;
  int OnWarning(utl::IError::WarnStyle style, const std::wstring& message) override;
  void OnObjectImported(qxio::TrBase& object) override;

private:
  ProgressBar* m_bar;
  std::optional<qxio::TrImage> m_image;
  int m_warnings = 0;
};

// Prints "error: FILE: ..." on standard error, without trailing line breaks that filters put
// at the end of some messages.
void PrintError(const std::string& file, const std::string& message);
// Prints "qxhost: FILE: warning: ..." on standard error: a remark on a file that succeeded.
void PrintWarning(const std::string& file, const std::string& message);

}  // namespace qxhost
