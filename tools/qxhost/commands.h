// The four commands, each driving the plug-in's filters the way a host does.
#pragma once

#include <string>
#include <vector>

#include "qxio/transport.h"

namespace qxhost {

class HostManager;
class Plugin;

// Each command returns the process's exit status: 0 when every file succeeded, else 1.
class Commands {
public:
  Commands(const Plugin& plugin, HostManager& manager);

  int Probe(const std::vector<std::wstring>& files);
  int Info(const std::vector<std::wstring>& files);
  int Check(const std::vector<std::wstring>& files);
  int Convert(const std::wstring& input, const std::wstring& output);

private:
  qxio::TrImage Import(const std::wstring& path);
  void Export(qxio::TrImage& image, const std::wstring& path);
  // Runs work for one file; a failure is printed as "error: FILE: ..." and gives false.
  template <class Work>
  bool Guarded(const std::wstring& file, Work&& work);

  const Plugin& m_plugin;
  HostManager& m_manager;
};

}  // namespace qxhost
