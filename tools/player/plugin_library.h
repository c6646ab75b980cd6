// PluginLibrary: a processor plugin loaded with dlopen the way the daemon loads one.
#pragma once

#include <string>

#include "kv/plugin.h"

namespace replay {

// Owns the dlopen handle. Main thread only.
class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Loads the file, checks its kv_plugin_abi record and finds kvPluginInit. Returns an empty
  // string on success, else the reason (the library is then unloaded again).
  std::string Open(const std::string& path);

  // Calls kvPluginInit. Returns the plugin, or null with `error` set when the factory threw or
  // returned null.
  kvPlugin* Create(const std::string& tag, const kvPlugin::Params& params, std::string& error);

  // Unloads the library. Every plugin it made must have been deleted before.
  void Close();

 private:
  void* handle = nullptr;
  kvPluginInitFunction init = nullptr;
};

}  // namespace replay
