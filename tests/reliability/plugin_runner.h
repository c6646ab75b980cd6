// PluginRunner: a plugin whose worker runs on a configuration file of its own, loaded before the
// test goes on, and that is terminated and joined before it is destroyed.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "plugin/plugin.h"
#include "support/temp_file.h"
#include "support/wait.h"

namespace korvel_test {

class PluginRunner {
 public:
  explicit PluginRunner(const std::string& configuration, const std::string& tag = "tag") {
    config.Write(configuration);
    plugin = std::make_unique<kppPlugin>(tag, kvPlugin::Params{{"conf_filename", config.Path()}});
    plugin->Create();
    EXPECT_TRUE(WaitUntil([this] { return !plugin->reload.load() && plugin->channel_types != 0; }));
  }
  ~PluginRunner() { Stop(); }
  PluginRunner(const PluginRunner&) = delete;
  PluginRunner& operator=(const PluginRunner&) = delete;

  kppPlugin* operator->() const { return plugin.get(); }
  const TempFile& Config() const { return config; }
  // Terminates and joins the worker; the plugin stays until the runner goes.
  void Stop() {
    if (stopped) return;
    stopped = true;
    plugin->Terminate();
    plugin->Join();
  }

 private:
  TempFile config;
  std::unique_ptr<kppPlugin> plugin;
  bool stopped = false;
};

}  // namespace korvel_test
