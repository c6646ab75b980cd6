// Construction by the factory, identity, initial state and reload requests of the plugin object.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kv/exception.h"
#include "plugin/plugin.h"
#include "support/log_capture.h"
#include "support/temp_file.h"

namespace {

using korvel_test::LogCapture;

TEST(PluginFactory, AcceptsBothProcessorTypesAndRefusesOthersWithOneUntaggedLine) {
  korvel_test::TempFile config;
  for (const char* type : {"1", "2"}) {
    LogCapture log;
    std::unique_ptr<kvPlugin> plugin(
        kvPluginInit("proc", {{"conf_filename", config.Path()}, {"type", type}}));
    ASSERT_NE(plugin, nullptr) << type;
    EXPECT_EQ(plugin->GetType(), std::stoi(type));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"proc: initialized\n"});
  }
  for (const std::string type : {"0", "3"}) {
    LogCapture log;
    EXPECT_EQ(kvPluginInit("edge", {{"conf_filename", config.Path()}, {"type", type}}), nullptr);
    EXPECT_EQ(log.PrintedLines(),
              std::vector<std::string>{"Invalid plugin type: edge [" + type + "]\n"});
    // The refused object was constructed and destroyed.
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"edge: initialized\n",
                                                     "Invalid plugin type: edge [" + type + "]\n",
                                                     "edge: destroyed\n"}));
  }
}

TEST(PluginFactory, EmptyConfigurationNameThrowsToTheDaemon) {
  LogCapture log;
  for (const kvPlugin::Params& params :
       {kvPlugin::Params{}, kvPlugin::Params{{"conf_filename", ""}}}) {
    try {
      kvPluginInit("proc", params);
      ADD_FAILURE() << "no exception";
    } catch (const kvException& e) {
      EXPECT_STREQ(e.what(),
                   "kppPlugin::kppPlugin(const string &, const kvPlugin::Params &): "
                   "conf_filename: Invalid argument");
    }
  }
  EXPECT_TRUE(log.Lines().empty());
}

TEST(PluginLifecycle, NamesItselfAndStartsWithAReloadDueAndNothingConfigured) {
  korvel_test::TempFile config;
  kppPlugin plugin("proc", {{"conf_filename", config.Path()}});
  std::string text = "previous";
  plugin.GetLibrary(text);
  EXPECT_EQ(text, "korvel-proc-core");
  plugin.GetName(text);
  EXPECT_EQ(text, "Korvel Core Processor Plugin");
  plugin.GetVersion(text);
  EXPECT_EQ(text, "1.2.5");
  json status = {{"kept", 1}};
  plugin.GetStatus(status);
  EXPECT_EQ(status, (json{{"kept", 1}}));

  EXPECT_TRUE(plugin.reload.load());
  EXPECT_FALSE(plugin.dispatch_pending.load());
  EXPECT_EQ(plugin.channel_types.load(), 0);
  EXPECT_TRUE(plugin.sinks.empty());
  EXPECT_EQ(plugin.defaults, kppChannelConfig());
  EXPECT_TRUE(plugin.json_status.is_null());
  EXPECT_TRUE(plugin.json_global_stats.is_null());

  // Only event 0 requests a reload.
  plugin.reload.store(false);
  plugin.DispatchEvent(static_cast<kvPlugin::Event>(1), nullptr);
  plugin.DispatchEvent(static_cast<kvPlugin::Event>(7), &plugin);
  EXPECT_FALSE(plugin.reload.load());
  plugin.DispatchEvent(kvPlugin::EVENT_RELOAD, nullptr);
  EXPECT_TRUE(plugin.reload.load());
}

}  // namespace
