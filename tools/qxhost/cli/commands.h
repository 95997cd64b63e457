// The commands that work file by file (probe, info, check, convert IN OUT), each driving the
// formats' filters the way a host does.
#pragma once

#include <memory>
#include <string>

#include "core/conversion.h"
#include "core/hostmanager.h"
#include "core/options.h"

namespace qxhost {

class Plugin;
class TempFile;

class Commands {
public:
  // plugin, manager and options must outlive the object.
  Commands(const Plugin& plugin, HostManager& manager, const Options& options);
  ~Commands();

  // Runs the command that the options name. Returns the process's exit status: 0 when every
  // file succeeded, else 1.
  int Run();

private:
  int Probe();
  int Info();
  int Check();
  int ConvertPair();

  bool OpenStandardStreams();
  FileRef Input(const std::wstring& argument) const;

  const Options& m_options;
  Conversion m_files;
  std::unique_ptr<TempFile> m_input;  // standard input, when a FILE is "-"
};

}  // namespace qxhost
