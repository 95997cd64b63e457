// An IoManager that records everything filters tell it, for tests of both filters.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qxio/manager.h"
#include "qxio/transport.h"
#include "utl/error.h"

namespace vemra::test {

class RecordingManager : public qxio::IoManager {
public:
  struct Option {
    std::wstring name;
    bool enabled;
    bool visible;
  };
  struct ProgressStartCall {
    std::wstring title;
    bool cancellable;
    bool showProportion;
  };
  struct Warning {
    int style;
    std::wstring message;
  };
  struct Error {
    utl::ErrorKind kind;
    std::wstring path;
    std::wstring message;
    std::wstring sentence;
    int line;
  };

  // Forgets everything recorded so far (the hooks stay).
  void Clear();

  // Progress open right now: starts minus ends.
  int OpenProgress() const { return static_cast<int>(m_progressStarts.size()) - m_progressEnds; }

  std::vector<Option> m_options;
  std::vector<ProgressStartCall> m_progressStarts;
  std::vector<double> m_proportions;
  std::vector<std::wstring> m_messages;
  int m_progressEnds = 0;
  std::vector<Warning> m_warnings;
  std::vector<Error> m_errors;
  // Images handed over by import filters, moved out of the filter's object.
  std::vector<std::unique_ptr<qxio::TrImage>> m_images;
  int m_otherObjects = 0;  // imported objects that are not images

  // Optional hooks run on each call of the matching operation, e.g. to raise from inside a
  // host callback.
  std::function<void()> m_onProgressStart;
  std::function<void(double)> m_onProportion;
  std::function<void()> m_onMessage;

protected:
  void SetOption(const std::wstring& name, bool enabled, bool visible) override;
  void ProgressStart(const std::wstring& title, bool cancellable, bool showProportion) override;
  void ProgressProportion(double fraction) override;
  void ProgressMessage(const std::wstring& message) override;
  void ProgressEnd() override;
  int OnWarning(utl::IError::WarnStyle style, const std::wstring& message) override;
  void OnError(const utl::IError& error) override;
  void OnObjectImported(qxio::TrBase& object) override;
};

}  // namespace vemra::test
