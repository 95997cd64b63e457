// The host's error: one exception type for every failure the host and its filters raise.
#pragma once

#include <exception>
#include <string>

#include "utl/api.h"

namespace utl {

enum class ErrorKind {
  EndBeforeBegin,  // an export was ended that was never begun
  Internal,        // a fault inside a filter
  UnknownFormat,   // the file is not of a format the filter reads
  UnexpectedEof,   // the file ends before its data does
  FileOpen,        // the file cannot be opened
  FileRead,        // reading failed
  FileWrite,       // writing failed
  NotImplemented,  // a feature the filter does not have
  ImageTooLarge,   // an image over the manager's pixel limit
  General,         // a message formatted by the raiser
};

class QXIO_API IError : public std::exception {
public:
  // How a warning is presented; filters pass WarnStyleDefault.
  enum WarnStyle : int { WarnStyleDefault = 0 };

  ~IError() override;
  virtual ErrorKind Kind() const noexcept = 0;
  virtual const std::wstring& SourceFile() const noexcept = 0;
  virtual int Line() const noexcept = 0;
  virtual const std::wstring& Path() const noexcept = 0;      // empty where the operation has none
  virtual const std::wstring& Message() const noexcept = 0;   // the raiser's own words, if any
  virtual const std::wstring& Sentence() const noexcept = 0;  // the readable sentence of what()
  // Why, in the words of whoever found the cause: the system's for a call it refused ("No
  // space left on device"), a filter's for a file it refuses ("unsupported depth 7"). Kept
  // apart from the message, whose wording a filter may have to fix; empty when none was given.
  virtual const std::wstring& Reason() const noexcept = 0;
};

class QXIO_API CError final : public IError {
public:
  CError(ErrorKind kind, std::wstring sourceFile, int line, std::wstring path = {},
         std::wstring message = {}, std::wstring reason = {});

  ErrorKind Kind() const noexcept override { return m_kind; }
  const std::wstring& SourceFile() const noexcept override { return m_sourceFile; }
  int Line() const noexcept override { return m_line; }
  const std::wstring& Path() const noexcept override { return m_path; }
  const std::wstring& Message() const noexcept override { return m_message; }
  const std::wstring& Sentence() const noexcept override { return m_sentence; }
  const std::wstring& Reason() const noexcept override { return m_reason; }
  // The sentence in UTF-8.
  const char* what() const noexcept override { return m_what.c_str(); }

private:
  ErrorKind m_kind;
  std::wstring m_sourceFile;
  int m_line;
  std::wstring m_path;
  std::wstring m_message;
  std::wstring m_sentence;
  std::wstring m_reason;
  std::string m_what;
};

// The system's text for an errno value, obtained in a way that is safe on any thread.
QXIO_API std::wstring ErrnoText(int code);

}  // namespace utl
