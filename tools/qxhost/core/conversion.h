// Files into images and images into files, through the filters of the formats' table as a host
// drives them; and one file converted into another.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/formats.h"
#include "core/hostmanager.h"
#include "core/options.h"
#include "qxio/transport.h"

namespace qxhost {

class Plugin;

class Conversion {
public:
  // plugin, manager and options must outlive the object.
  Conversion(const Plugin& plugin, HostManager& manager, const Options& options);

  enum class Outcome { Done, Incomplete, LeftAlone, Failed };
  struct Imported {
    qxio::TrImage image;
    bool complete = true;  // false when rows are missing
  };

  // The format whose import filter recognises the file, null for none (an empty file
  // included); raises the host's error, with the system's reason, for a file that cannot be read.
  const Format* Recognise(const FileRef& file);
  // The format whose import filter recognises the file; raises the host's error, with the
  // reason, for a file that holds nothing qxhost reads. Every command that reads a file asks
  // here first, so that a file gets the same reason from each.
  const Format& Identify(const FileRef& file);
  // The file's description by its format's filter; raises the filter's reason when it gives none.
  qxio::ImportFileInfo Describe(const FileRef& file);
  // The image in the file; the filter's warnings said in qxhost's words.
  Imported Read(const FileRef& file);
  // Raises the host's error when this qxhost cannot write options.to, before any file is read.
  void CheckWritable();
  // Writes the image (prepared for the format's readers) in the format of options.to.
  void Write(qxio::TrImage& image, const FileRef& file);
  // Converts input into output, saying what went wrong through the manager. An incomplete image
  // is written all the same: the rows that arrived are worth keeping.
  Outcome Convert(const FileRef& input, const FileRef& output);

  // Runs work for one file: a failure comes back in words (see DescribeError).
  std::optional<std::string> Attempt(const FileRef& file, const std::function<void()>& work);
  // The same, with the failure said through the manager; false when it failed.
  bool Guarded(const FileRef& file, const std::function<void()>& work);

private:
  const Plugin& m_plugin;
  HostManager& m_manager;
  const Options& m_options;
};

}  // namespace qxhost
