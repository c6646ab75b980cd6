// Tests of the kvPlugin base: type and configuration name from the parameters, sink dispatch.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kv/plugin.h"
#include "support/sink_recorder.h"

namespace {

class BarePlugin : public kvPluginProcessor {
 public:
  explicit BarePlugin(const Params& params) : kvPluginProcessor("bare", params) {}

  void GetLibrary(std::string& library) override { library = "bare"; }
  void GetName(std::string& name) override { name = "Bare"; }
  void GetVersion(std::string& version) override { version = "0"; }
  void* Entry() override { return nullptr; }
};

uint8_t TypeOf(const kvPlugin::Params& params) {
  return BarePlugin(params).GetType();
}

TEST(PluginParamsTest, TypeDefaultsToBasicProcessor) {
  EXPECT_EQ(TypeOf({}), kvPlugin::TYPE_PROCESSOR_BASIC);
  EXPECT_EQ(TypeOf({{"conf_filename", "/etc/korvel.json"}}), 1);
}

TEST(PluginParamsTest, TypeIsReadAsDecimal) {
  EXPECT_EQ(TypeOf({{"type", "0"}}), kvPlugin::TYPE_BASE);
  EXPECT_EQ(TypeOf({{"type", "1"}}), kvPlugin::TYPE_PROCESSOR_BASIC);
  EXPECT_EQ(TypeOf({{"type", "2"}}), kvPlugin::TYPE_PROCESSOR_STATS);
  EXPECT_EQ(TypeOf({{"type", "3"}}), kvPlugin::TYPE_SINK);
  EXPECT_EQ(TypeOf({{"type", "010"}}), 10);
  EXPECT_EQ(TypeOf({{"type", "255"}}), 255);
}

TEST(PluginParamsTest, TypeOutsideEightBitsOrNotANumberIsBase) {
  // Wrapping would turn "257" into a valid processor type 1.
  for (const char* text : {"256", "257", "258", "4294967297", "", "x", "1x", " 1", "-1", "+2"}) {
    EXPECT_EQ(TypeOf({{"type", text}}), kvPlugin::TYPE_BASE) << text;
  }
}

TEST(PluginParamsTest, ConfigurationFileName) {
  EXPECT_EQ(BarePlugin(kvPlugin::Params{{"conf_filename", "/etc/korvel.json"}}).GetConfFilename(),
            "/etc/korvel.json");
  EXPECT_EQ(BarePlugin(kvPlugin::Params{}).GetConfFilename(), "");
  EXPECT_EQ(BarePlugin(kvPlugin::Params{{"type", "2"}}).GetTag(), "bare");
}

TEST(PluginSinkTest, DispatchReachesTheHandlerWithItsArguments) {
  korvel_test::SinkRecorder recorder;
  BarePlugin plugin{kvPlugin::Params{}};
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

TEST(PluginSinkTest, DispatchWithoutHandlerDoesNothing) {
  BarePlugin plugin{kvPlugin::Params{}};
  EXPECT_FALSE(
      plugin.DispatchSinkPayload("sink", {"channel"}, json::object(), kvPlugin::DF_FORMAT_MSGPACK));
  korvel_test::SinkRecorder recorder;
  EXPECT_TRUE(plugin.DispatchSinkPayload("sink", {"channel"}, json::object(), kvPlugin::DF_NONE));
  EXPECT_EQ(recorder.Count(), 1u);
}

TEST(PluginSinkTest, RemovedHandlerIsNoLongerCalled) {
  BarePlugin plugin{kvPlugin::Params{}};
  {
    korvel_test::SinkRecorder recorder;
    plugin.DispatchSinkPayload("sink", {"channel"}, json::object(), kvPlugin::DF_NONE);
    EXPECT_EQ(recorder.Count(), 1u);
  }
  EXPECT_FALSE(plugin.DispatchSinkPayload("sink", {"channel"}, json::object(), kvPlugin::DF_NONE));
}

}  // namespace
