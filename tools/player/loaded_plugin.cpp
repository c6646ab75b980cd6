// LoadedPlugin: loading and making the plugin, and ending its worker before it goes.
#include "tools/player/loaded_plugin.h"

#include <future>
#include <thread>

#include "tools/constants.h"

namespace replay {

namespace {

// Waits at most `limit` for the worker to end. True when it did (and was joined).
bool JoinWithin(kvThread& worker, std::chrono::seconds limit) {
  auto joined = std::make_shared<std::promise<void>>();
  std::future<void> done = joined->get_future();
  std::thread joiner([&worker, joined] {
    worker.Join();
    joined->set_value();
  });
  if (done.wait_for(limit) == std::future_status::ready) {
    joiner.join();
    return true;
  }
  joiner.detach();
  return false;
}

}  // namespace

LoadedPlugin::~LoadedPlugin() {
  if (plugin != nullptr) ShutDown(true);
}

std::string LoadedPlugin::Load(const std::string& path, const std::string& tag,
                               const kvPlugin::Params& params, SinkOutput& sinks,
                               unsigned sync_timeout_seconds) {
  std::string error = library.Open(path);
  if (!error.empty()) return path + ": " + error;
  kvPlugin* created = library.Create(tag, params, error);
  if (created == nullptr) return path + ": " + error;
  plugin = dynamic_cast<kvPluginProcessor*>(created);
  if (plugin == nullptr) {
    delete created;
    return path + ": not a processor plugin";
  }
  driver = std::make_unique<WorkerDriver>(*plugin, sinks, sync_timeout_seconds);
  return "";
}

bool LoadedPlugin::ShutDown(bool worker_answering) {
  if (plugin == nullptr) return true;
  plugin->Terminate();
  if (!worker_answering && !JoinWithin(*plugin, kStuckWorkerJoinLimit)) return false;
  plugin->Join();
  // Flows the plugin still holds as it goes (a worker ended by a failure leaves its queue) tell
  // the driver when they are let go, so the driver goes after the plugin.
  driver->StopObserving();
  delete plugin;
  plugin = nullptr;
  driver.reset();
  library.Close();
  return true;
}

}  // namespace replay
