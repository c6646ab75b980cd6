// LoadedPlugin: the processor plugin made from its library, the driver of its worker, and the
// daemon's shutdown order for them.
#pragma once

#include <memory>
#include <string>

#include "kv/plugin.h"
#include "tools/output/sink_output.h"
#include "tools/player/plugin_library.h"
#include "tools/player/worker_driver.h"

namespace replay {

// Main thread only.
class LoadedPlugin {
 public:
  LoadedPlugin() = default;
  ~LoadedPlugin();  // shuts down what is still loaded
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // Loads the library at `path` and makes the plugin of `tag` with `params`; its worker's waits
  // give up after `sync_timeout_seconds` without a sign of it. "" on success, else "PATH: reason".
  std::string Load(const std::string& path, const std::string& tag, const kvPlugin::Params& params,
                   SinkOutput& sinks, unsigned sync_timeout_seconds);

  kvPluginProcessor& Plugin() { return *plugin; }
  WorkerDriver& Worker() { return *driver; }

  // The daemon's shutdown: Terminate() asks the worker to end once it has drained what it holds
  // (and wakes it); the worker is joined, then the plugin deleted, then the library unloaded. A
  // worker that stopped answering is given a bounded time to end first; false when it did not:
  // the plugin's code is still running, so the process must then end without destroying this.
  bool ShutDown(bool worker_answering);

 private:
  PluginLibrary library;
  kvPluginProcessor* plugin = nullptr;
  // Outlives the worker thread, which tells it what it does; goes before the plugin.
  std::unique_ptr<WorkerDriver> driver;
};

}  // namespace replay
