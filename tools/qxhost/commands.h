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

// Raises Failure when this qxhost cannot write files of kind.
void CheckWritable(FileKind kind, const Plugin& plugin);

class Commands {
public:
  // plugin, manager and options must outlive the object.
  Commands(const Plugin& plugin, HostManager& manager, const Options& options);
  ~Commands();

  // Runs the command that the options name. Returns the process's exit status: 0 when every
  // file succeeded, else 1.
  int Run();

  enum class Outcome { Done, Incomplete, LeftAlone, Failed };
  // Converts input into output in the format of options.to, saying what went wrong through the
  // manager. An incomplete image is written all the same.
  Outcome Convert(const FileRef& input, const FileRef& output);

private:
  struct Imported {
    qxio::TrImage image;
    bool complete = true;  // false after a warning: rows are missing
  };

  int Probe();
  int Info();
  int Check();
  int ConvertPair();

  bool OpenStandardStreams();
  FileRef Input(const std::wstring& argument) const;
  Imported Import(const FileRef& file);
  // Every command that reads images asks here first: a file gets the same reason from each.
  // What the file holds, or Failure with the reason it holds nothing qxhost reads.
  FileKind Identify(const FileRef& file);
  // Raises the import filter's reason for a file whose header it refuses, which it gives only
  // when it imports the file: the import ends at the header.
  [[noreturn]] void RaiseImportRefusal(const FileRef& file);
  // The image in file, Sun raster or PNG; a filter's warnings said in qxhost's words.
  Imported Read(const FileRef& file);
  void Write(qxio::TrImage& image, const FileRef& file);
  void Export(qxio::TrImage& image, const std::wstring& path);

  // Runs work for one file: a failure comes back in words (see DescribeError).
  std::optional<std::string> Attempt(const FileRef& file, const std::function<void()>& work);
  // The same, with the failure said through the manager; false when it failed.
  bool Guarded(const FileRef& file, const std::function<void()>& work);

  const Plugin& m_plugin;
  HostManager& m_manager;
  const Options& m_options;
  std::unique_ptr<TempFile> m_input;  // standard input, when a FILE is "-"
};

}  // namespace qxhost
