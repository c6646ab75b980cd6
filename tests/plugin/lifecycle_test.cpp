// Construction, identity, reload requests and destruction of the plugin object.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kv/exception.h"
#include "kv/flow.h"
#include "plugin/plugin.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/temp_file.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::TempFile;

TEST(PluginFactory, AcceptsBothProcessorTypes) {
  TempFile config;
  LogCapture log;
  for (const char* type : {"1", "2"}) {
    std::unique_ptr<kvPlugin> plugin(
        kvPluginInit("proc", {{"conf_filename", config.Path()}, {"type", type}}));
    ASSERT_NE(plugin, nullptr) << type;
    EXPECT_EQ(plugin->GetType(), std::stoi(type));
  }
  EXPECT_TRUE(log.PrintedLines().empty());
}

TEST(PluginFactory, RefusesOtherTypesWithOneUntaggedLine) {
  TempFile config;
  for (const char* type : {"0", "3"}) {
    LogCapture log;
    kvPlugin* plugin = kvPluginInit("edge", {{"conf_filename", config.Path()}, {"type", type}});
    EXPECT_EQ(plugin, nullptr);
    EXPECT_EQ(log.PrintedLines(),
              std::vector<std::string>{"Invalid plugin type: edge [" + std::string(type) + "]\n"});
    // The refused object was constructed and destroyed.
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"edge: initialized\n",
                                        "Invalid plugin type: edge [" + std::string(type) + "]\n",
                                        "edge: destroyed\n"}));
  }
}

TEST(PluginFactory, EmptyConfigurationNameThrowsToTheDaemon) {
  LogCapture log;
  for (const kvPlugin::Params& params :
       {kvPlugin::Params{}, kvPlugin::Params{{"conf_filename", ""}}}) {
    try {
      kvPluginInit("proc", params);
      FAIL() << "no exception";
    } catch (const kvException& e) {
      EXPECT_STREQ(e.what(),
                   "kppPlugin::kppPlugin(const string &, const kvPlugin::Params &): "
                   "conf_filename: Invalid argument");
    }
  }
  EXPECT_TRUE(log.Lines().empty());
}

TEST(PluginIdentity, NamesItself) {
  TempFile config;
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
}

TEST(PluginLifecycle, StartsWithAReloadDueAndNothingConfigured) {
  TempFile config;
  kppPlugin plugin("proc", {{"conf_filename", config.Path()}});
  EXPECT_TRUE(plugin.reload.load());
  EXPECT_FALSE(plugin.dispatch_pending.load());
  EXPECT_EQ(plugin.channel_types.load(), 0);
  EXPECT_TRUE(plugin.sinks.empty());
  EXPECT_EQ(plugin.defaults, kppChannelConfig());
  EXPECT_TRUE(plugin.json_status.is_null());
  EXPECT_TRUE(plugin.json_global_stats.is_null());
}

TEST(PluginLifecycle, OnlyEventZeroRequestsAReload) {
  TempFile config;
  kppPlugin plugin("proc", {{"conf_filename", config.Path()}});
  plugin.reload.store(false);
  plugin.DispatchEvent(static_cast<kvPlugin::Event>(1), nullptr);
  plugin.DispatchEvent(static_cast<kvPlugin::Event>(7), &plugin);
  EXPECT_FALSE(plugin.reload.load());
  plugin.DispatchEvent(kvPlugin::EVENT_RELOAD, nullptr);
  EXPECT_TRUE(plugin.reload.load());
}

TEST(PluginLifecycle, TagOfAnyLengthLeadsItsMessages) {
  TempFile config;
  const std::string tag(65536, 't');
  LogCapture log;
  { kppPlugin plugin(tag, {{"conf_filename", config.Path()}}); }
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{tag + ": initialized\n", tag + ": destroyed\n"}));

  LogCapture empty_tag_log;
  { kppPlugin plugin("", {{"conf_filename", config.Path()}}); }
  EXPECT_EQ(empty_tag_log.Lines(), (std::vector<std::string>{": initialized\n", ": destroyed\n"}));
}

TEST(PluginLifecycle, DestructionReleasesQueuedFlows) {
  TempFile config;
  auto iface = korvel_test::MakeInterface("eth0", kvInterface::ROLE_LAN);
  auto flow = korvel_test::MakeFlow(iface, 1);
  {
    kppPlugin plugin("proc", {{"conf_filename", config.Path()}});
    plugin.channel_types.store(kppChannelConfig::TYPE_STREAM_FLOWS);
    for (int i = 0; i < 3; i++)
      plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
    EXPECT_EQ(flow.use_count(), 4);
  }
  EXPECT_EQ(flow.use_count(), 1);
}

}  // namespace
