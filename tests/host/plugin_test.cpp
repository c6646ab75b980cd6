// Tests of the kvPlugin base: type and configuration name from the parameters, sink dispatch.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kv/plugin.h"
#include "support/sink_recorder.h"

namespace {

class BarePlugin : public kvPluginProcessor {
 public:
  explicit BarePlugin(const Params& params = {}) : kvPluginProcessor("bare", params) {}

  void GetLibrary(std::string& library) override { library = "bare"; }
  void GetName(std::string& name) override { name = "Bare"; }
  void GetVersion(std::string& version) override { version = "0"; }
  void* Entry() override { return nullptr; }
};

TEST(PluginTest, TypeAndConfigurationNameFromTheParameters) {
  EXPECT_EQ(BarePlugin().GetType(), kvPlugin::TYPE_PROCESSOR_BASIC);
  EXPECT_EQ(BarePlugin(kvPlugin::Params{{"conf_filename", "/etc/korvel.json"}}).GetType(), 1);
  // The type is read as decimal; outside eight bits or not a number it is the base type
  // (wrapping would turn "257" into a valid processor type 1).
  const std::pair<const char*, int> types[] = {
      {"0", 0},   {"1", 1},   {"2", 2},   {"3", 3},          {"010", 10}, {"255", 255},
      {"256", 0}, {"257", 0}, {"258", 0}, {"4294967297", 0}, {"", 0},     {"x", 0},
      {"1x", 0},  {" 1", 0},  {"-1", 0},  {"+2", 0}};
  for (const auto& [text, type] : types) {
    EXPECT_EQ(BarePlugin(kvPlugin::Params{{"type", text}}).GetType(), type) << '"' << text << '"';
  }
  EXPECT_EQ(BarePlugin(kvPlugin::Params{{"conf_filename", "/etc/korvel.json"}}).GetConfFilename(),
            "/etc/korvel.json");
  EXPECT_EQ(BarePlugin().GetConfFilename(), "");
  EXPECT_EQ(BarePlugin(kvPlugin::Params{{"type", "2"}}).GetTag(), "bare");
}

TEST(PluginTest, SinkDispatchReachesTheInstalledHandlerOnly) {
  BarePlugin plugin;
  EXPECT_FALSE(
      plugin.DispatchSinkPayload("sink", {"channel"}, json::object(), kvPlugin::DF_FORMAT_MSGPACK));
  {
    korvel_test::SinkRecorder recorder;
    const json payload = {{"type", "agent_status"}, {"n", 1}};
    const kvFlags<kvPlugin::DispatchFlags> flags =
        kvFlags<kvPlugin::DispatchFlags>(kvPlugin::DF_FORMAT_JSON) | kvPlugin::DF_GZ_DEFLATE;
    EXPECT_TRUE(plugin.DispatchSinkPayload("sink-socket", {"stream", "legacy"}, payload, flags));
    EXPECT_TRUE(plugin.DispatchSinkPayload("sink-http", {}, json(), kvPlugin::DF_NONE));
    const auto calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].sink, "sink-socket");
    EXPECT_EQ(calls[0].channels, (std::set<std::string>{"legacy", "stream"}));
    EXPECT_EQ(calls[0].payload, payload);
    EXPECT_EQ(calls[0].flags, 0x21);
    EXPECT_EQ(calls[1].sink, "sink-http");
    EXPECT_TRUE(calls[1].channels.empty());
    EXPECT_TRUE(calls[1].payload.is_null());
    EXPECT_EQ(calls[1].flags, 0);
  }
  EXPECT_FALSE(plugin.DispatchSinkPayload("sink", {"channel"}, json::object(), kvPlugin::DF_NONE));
}

}  // namespace
