// kppPlugin::DispatchPayload: which channels receive a payload type, in which order, with which
// flags.
#include <gtest/gtest.h>

#include <string>

#include "plugin/plugin.h"
#include "support/sink_recorder.h"
#include "support/temp_file.h"

namespace {

using korvel_test::SinkCall;

kppChannelConfig Channel(uint8_t types, uint8_t format = 1, bool compress = false) {
  kppChannelConfig channel;
  channel.types = types;
  channel.format = format;
  channel.compress = compress;
  return channel;
}

class DispatchTest : public ::testing::Test {
 protected:
  // "sink/channel flags" of every call, after dispatching `document` under each type in turn.
  std::vector<std::string> Dispatch(std::initializer_list<kppChannelConfig::Type> types) {
    for (kppChannelConfig::Type type : types) plugin.DispatchPayload(type, document);
    std::vector<std::string> out;
    for (const SinkCall& call : sink.Calls()) {
      EXPECT_EQ(call.payload, document);
      EXPECT_EQ(call.channels.size(), 1u);
      out.push_back(call.sink + "/" + *call.channels.begin() + " " + std::to_string(call.flags));
    }
    return out;
  }

  korvel_test::TempFile config;
  kppPlugin plugin{"proc", {{"conf_filename", config.Path()}}};
  korvel_test::SinkRecorder sink;
  const json document = {{"type", "x"}, {"n", 1}};
};

TEST_F(DispatchTest, EveryMatchingChannelInSinkAndChannelNameOrder) {
  EXPECT_EQ(Dispatch({kppChannelConfig::TYPE_STREAM_STATS}), std::vector<std::string>());
  plugin.sinks["zeta"]["b"] = Channel(kppChannelConfig::TYPE_STREAM_STATS);
  plugin.sinks["zeta"]["a"] = Channel(0x0c);
  plugin.sinks["Zeta"]["only"] = Channel(kppChannelConfig::TYPE_STREAM_STATS);
  plugin.sinks["alpha"]["flows"] = Channel(kppChannelConfig::TYPE_STREAM_FLOWS);
  plugin.sinks["alpha"]["legacy"] = Channel(0x03);
  EXPECT_EQ(Dispatch({kppChannelConfig::TYPE_STREAM_STATS, kppChannelConfig::TYPE_LEGACY_HTTP,
                      kppChannelConfig::TYPE_LEGACY_SOCKET}),
            (std::vector<std::string>{"Zeta/only 1", "zeta/a 1", "zeta/b 1", "alpha/legacy 1",
                                      "alpha/legacy 25"}));
}

TEST_F(DispatchTest, FlagsFollowFormatCompressionAndSocketType) {
  plugin.sinks["s"]["1-json"] = Channel(0x0f);
  plugin.sinks["s"]["2-json-gz"] = Channel(0x0f, kppChannelConfig::FORMAT_JSON, true);
  plugin.sinks["s"]["3-msgpack"] = Channel(0x0f, kppChannelConfig::FORMAT_MSGPACK);
  plugin.sinks["s"]["4-msgpack-gz"] = Channel(0x0f, kppChannelConfig::FORMAT_MSGPACK, true);
  plugin.sinks["s"]["5-other-format"] = Channel(0x0f, 7);
  Dispatch({kppChannelConfig::TYPE_LEGACY_HTTP, kppChannelConfig::TYPE_LEGACY_SOCKET,
            kppChannelConfig::TYPE_STREAM_FLOWS, kppChannelConfig::TYPE_STREAM_STATS});
  std::vector<int> flags;
  for (const SinkCall& call : sink.Calls()) flags.push_back(call.flags);
  EXPECT_EQ(flags, (std::vector<int>{0x01, 0x21, 0x04, 0x24, 0x00,     // legacy-http
                                     0x19, 0x39, 0x1c, 0x3c, 0x18,     // legacy-socket
                                     0x01, 0x21, 0x04, 0x24, 0x00,     // stream-flows
                                     0x01, 0x21, 0x04, 0x24, 0x00}));  // stream-stats
}

}  // namespace
