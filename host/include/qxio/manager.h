// The host's I/O manager and the progress objects that filters report through.
#pragma once

#include <cstdint>
#include <string>

#include "utl/api.h"
#include "utl/error.h"

namespace qxio {

class TrBase;
class CProgress;
class IoFilter;
class IoImportFilter;

// Host programs derive from IoManager to receive progress, warnings, errors, the options
// that filters register and the objects that import filters produce. Every hook has a
// do-nothing default.
class QXIO_API IoManager {
public:
  // The default pixel limit of an image: 2^30 pixels (for example 32768 x 32768).
  static constexpr std::uint64_t kDefaultMaxPixels = std::uint64_t(1) << 30;

  IoManager();
  virtual ~IoManager();
  IoManager(const IoManager&) = delete;
  IoManager& operator=(const IoManager&) = delete;

  // A filter registers an option it understands.
  virtual void SetOption(const std::wstring& name, bool enabled, bool visible);

  // Largest image (width x height) that a TrImage bound to this manager accepts; 0 means none.
  void SetMaxPixels(std::uint64_t maxPixels) { m_maxPixels = maxPixels; }
  std::uint64_t GetMaxPixels() const { return m_maxPixels; }

protected:
  virtual void ProgressStart(const std::wstring& title, bool cancellable, bool showProportion);
  virtual void ProgressProportion(double fraction);
  virtual void ProgressMessage(const std::wstring& message);
  virtual void ProgressEnd();
  // A filter's warning; the result is the host's answer, which filters ignore.
  virtual int OnWarning(utl::IError::WarnStyle style, const std::wstring& message);
  // A filter is about to raise this error.
  virtual void OnError(const utl::IError& error);
  // An import filter hands over an object; it is destroyed when this returns, so a host that
  // keeps it copies or moves it out here.
  virtual void OnObjectImported(TrBase& object);

private:
  friend class CProgress;
  friend class IoFilter;
  friend class IoImportFilter;

  std::uint64_t m_maxPixels = kDefaultMaxPixels;
};

// What a TrImage sees of the progress it is given.
class QXIO_API IProgress {
public:
  virtual ~IProgress();
  virtual void Proportion(double fraction) = 0;
  virtual std::uint64_t MaxPixels() const = 0;
};

// Progress of one piece of work, from construction (ProgressStart, cancellable, showing its
// proportion) to destruction.
class QXIO_API CProgress final : public IProgress {
public:
  explicit CProgress(IoManager* manager);
  ~CProgress() override;
  CProgress(const CProgress&) = delete;
  CProgress& operator=(const CProgress&) = delete;

  // Fractions from 0 to 1.
  void Proportion(double fraction) override;
  // A printf-style status line; "%s" takes a wide string.
  void MessageVA(const wchar_t* format, ...);
  std::uint64_t MaxPixels() const override;
  IProgress* IProgressPtr() const { return const_cast<CProgress*>(this); }

private:
  IoManager* m_manager;
};

}  // namespace qxio
