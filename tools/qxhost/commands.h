// The commands, each driving the plug-in's filters the way a host does.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostmanager.h"
#include "options.h"
#include "qxio/transport.h"

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
  struct Imported {
    qxio::TrImage image;
    bool complete = true;  // false after a warning: rows are missing
  };
  enum class Outcome { Done, Incomplete, LeftAlone, Failed };

  int Probe();
  int Info();
  int Check();
  int ConvertPair();
  int ConvertEach();

  bool OpenStandardStreams();
  FileRef Input(const std::wstring& argument) const;
  Imported Import(const FileRef& file);
  Imported Read(const FileRef& file);
  void Write(qxio::TrImage& image, const FileRef& file);
  void Export(qxio::TrImage& image, const std::wstring& path);
  Outcome Convert(const FileRef& input, const FileRef& output);

  // Runs work for one file: a failure comes back in words (see DescribeError).
  std::optional<std::string> Attempt(const FileRef& file, const std::function<void()>& work);
  // The same, with the failure reported as "qxhost: FILE: ..."; false when it failed.
  bool Guarded(const FileRef& file, const std::function<void()>& work);

  const Plugin& m_plugin;
  HostManager& m_manager;
  const Options& m_options;
  std::unique_ptr<TempFile> m_input;  // standard input, when a FILE is "-"
};

}  // namespace qxhost
