// qxhost's I/O manager: shows progress, prints warnings and keeps the image an import hands
// over; and the form of every line qxhost prints on standard error.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qxio/manager.h"
#include "qxio/transport.h"
#include "utl/error.h"

namespace qxhost {

class ProgressBar;

// A file as the filters open it and as messages name it: "-" is opened through a temporary
// file and named "standard input" or "standard output".
struct FileRef {
  std::wstring path;
  std::wstring shown;
};

class HostManager final : public qxio::IoManager {
public:
  // bar may be null: no progress is shown. A quiet manager says no notes.
  explicit HostManager(ProgressBar* bar, bool quiet = false);

  // The file that the filters' next messages and warnings are about.
  void SetSubject(const FileRef& file) { m_subject = file; }
  // The image of the last import, if one was handed over; the manager forgets it.
  std::optional<qxio::TrImage> TakeImage();
  // The filters' warnings since the last call, in qxhost's style; the caller says them.
  std::vector<std::string> TakeWarnings() { return std::exchange(m_warnings, {}); }
  ProgressBar* Bar() const { return m_bar; }
  // Takes the progress line away before other output goes to the terminal.
  void ClearProgress();

  // Report through this manager: printed at once, or kept once KeepLines is called, so that
  // files converted side by side can have their lines printed in the order of the files.
  void Say(const std::string& file, const std::string& message);
  // The same for a note, which --quiet silences; errors and warnings always show.
  void Note(const std::string& file, const std::string& message);
  void KeepLines() { m_keepLines = true; }
  std::vector<std::string> TakeLines() { return std::move(m_lines); }

protected:
  void ProgressStart(const std::wstring& title, bool cancellable, bool showProportion) override;
  void ProgressProportion(double fraction) override;
  void ProgressMessage(const std::wstring& message) override;
  void ProgressEnd() override;
  int OnWarning(utl::IError::WarnStyle style, const std::wstring& message) override;
  void OnObjectImported(qxio::TrBase& object) override;

private:
  ProgressBar* m_bar;
  FileRef m_subject;
  std::optional<qxio::TrImage> m_image;
  bool m_quiet;
  std::vector<std::string> m_warnings;
  bool m_keepLines = false;
  std::vector<std::string> m_lines;
};

// "qxhost: FILE: message" on standard error, the one form of errors, warnings and notes about
// a file; the line breaks that filters put at the end of some messages go.
void Report(const std::string& file, const std::string& message);
// The line that Report prints, with its line break.
std::string ReportLine(const std::string& file, const std::string& message);

// The host's error in words for a line that names path itself: an error about path says what
// went wrong without naming it again ("cannot read: Input/output error"), the system's reason
// or the filter's where it gave one; any other keeps its whole sentence, in qxhost's style.
std::string DescribeError(const utl::IError& error, const std::wstring& path);

// A sentence of a filter or of the host in qxhost's style: lower-case (names excepted) and
// without a full stop at the end.
std::string InOurStyle(std::string sentence);

}  // namespace qxhost
