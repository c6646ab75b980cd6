// kppDispatchToChannels and the periodic builders on their own: a sink table and a recording
// sink call or dispatch, with no plugin and no worker.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "config/config_test_support.h"
#include "payload/channel_dispatch.h"
#include "payload/legacy_payload.h"
#include "payload/stream_payload.h"

namespace {

using korvel_test::Record;

// "sink/channel flags payload" of one sink call.
struct SinkCalls {
  std::vector<std::string> calls;

  void operator()(const std::string& sink, const std::set<std::string>& channels,
                  const json& payload, kvFlags<kvPlugin::DispatchFlags> flags) {
    ASSERT_EQ(channels.size(), 1u);
    calls.push_back(sink + "/" + *channels.begin() + " " + std::to_string(flags.Value()) + " " +
                    payload.dump());
  }
};

const kppSinks kSinks{
    {"b-sink",
     {{"z", Record(kppChannelConfig::TYPE_STREAM_FLOWS | kppChannelConfig::TYPE_LEGACY_SOCKET,
                   kppChannelConfig::FORMAT_MSGPACK, true)},
      {"a", Record(kppChannelConfig::TYPE_STREAM_FLOWS, kppChannelConfig::FORMAT_JSON, false)}}},
    {"a-sink",
     {{"legacy", Record(kppChannelConfig::TYPE_LEGACY_HTTP, kppChannelConfig::FORMAT_JSON, true)},
      {"socket",
       Record(kppChannelConfig::TYPE_LEGACY_SOCKET, kppChannelConfig::FORMAT_JSON, false)}}},
};

// Channels are called in sink and channel name order, each once, with flags from its format and
// compression; legacy-socket documents also carry the line framing (0x08 | 0x10).
TEST(ChannelDispatchTest, CallsEachSubscribedChannelInNameOrderWithItsFlags) {
  const json document = {{"type", "flow"}};
  SinkCalls stream;
  kppDispatchToChannels(kSinks, kppChannelConfig::TYPE_STREAM_FLOWS, document, stream);
  EXPECT_EQ(stream.calls, (std::vector<std::string>{R"(b-sink/a 1 {"type":"flow"})",
                                                    R"(b-sink/z 36 {"type":"flow"})"}));

  SinkCalls socket;
  kppDispatchToChannels(kSinks, kppChannelConfig::TYPE_LEGACY_SOCKET, document, socket);
  EXPECT_EQ(socket.calls, (std::vector<std::string>{R"(a-sink/socket 25 {"type":"flow"})",
                                                    R"(b-sink/z 60 {"type":"flow"})"}));

  SinkCalls none;
  kppDispatchToChannels(kSinks, kppChannelConfig::TYPE_STREAM_STATS, document, none);
  EXPECT_TRUE(none.calls.empty());
  kppDispatchToChannels(kppSinks{}, kppChannelConfig::TYPE_LEGACY_HTTP, document, none);
  EXPECT_TRUE(none.calls.empty());
}

TEST(ChannelDispatchTest, AFailingSinkCallEndsTheDispatchThere) {
  std::vector<std::string> called;
  auto failing = [&](const std::string& sink, const std::set<std::string>& channels, const json&,
                     kvFlags<kvPlugin::DispatchFlags>) {
    called.push_back(sink + "/" + *channels.begin());
    throw std::runtime_error("sink down");
  };
  EXPECT_THROW(
      kppDispatchToChannels(kSinks, kppChannelConfig::TYPE_STREAM_FLOWS, json::object(), failing),
      std::runtime_error);
  EXPECT_EQ(called, (std::vector<std::string>{"b-sink/a"}));
}

// A channel with a format of neither name gets no format bit, only its compression.
TEST(ChannelDispatchTest, FlagsOfEveryFormatAndCompression) {
  using T = kppChannelConfig;
  EXPECT_EQ(kppChannelFlags(T::TYPE_LEGACY_HTTP, Record(1, T::FORMAT_JSON, false)).Value(), 0x01);
  EXPECT_EQ(kppChannelFlags(T::TYPE_LEGACY_HTTP, Record(1, T::FORMAT_JSON, true)).Value(), 0x21);
  EXPECT_EQ(kppChannelFlags(T::TYPE_STREAM_STATS, Record(8, T::FORMAT_MSGPACK, false)).Value(),
            0x04);
  EXPECT_EQ(kppChannelFlags(T::TYPE_LEGACY_SOCKET, Record(2, T::FORMAT_MSGPACK, true)).Value(),
            0x3c);
  EXPECT_EQ(kppChannelFlags(T::TYPE_STREAM_FLOWS, Record(4, 0, true)).Value(), 0x20);
}

// What the periodic builders hand on, as "TYPE DOCUMENT".
struct Dispatched {
  std::vector<std::string> documents;
  kppDocumentDispatch Dispatch() {
    return [this](kppChannelConfig::Type type, const json& document) {
      documents.push_back(std::to_string(type) + " " + document.dump());
    };
  }
};

kppUpdateDocuments SampleDocuments() {
  kppUpdateDocuments documents;
  documents.status = {{"uptime", 7}};
  documents.interfaces = {{"eth0", {{"role", "LAN"}}}};
  documents.endpoints = json::object();
  documents.interface_stats = {{"eth0", {{"raw", 1}}}};
  documents.global_stats = {{"raw", 2}};
  return documents;
}

TEST(StreamPayloadTest, FiveDocumentsInOrderEachTypedFromTheStoredOnes) {
  Dispatched sent;
  kppDispatchStreamPayload(SampleDocuments(), sent.Dispatch());
  ASSERT_EQ(sent.documents.size(), 5u);
  const json status = json::parse(sent.documents[0].substr(2));
  EXPECT_EQ(sent.documents[0].substr(0, 2), "8 ");
  EXPECT_EQ(status.at("type"), "agent_status");
  EXPECT_EQ(status.at("uptime"), 7);
  EXPECT_TRUE(status.at("agent_version").is_string());
  EXPECT_TRUE(status.at("build_version").is_string());
  EXPECT_EQ(status.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(sent.documents.begin() + 1, sent.documents.end()),
            (std::vector<std::string>{R"(8 {"eth0":{"role":"LAN"},"type":"interfaces"})",
                                      R"(8 {"type":"endpoints"})",
                                      R"(8 {"eth0":{"raw":1},"type":"interface_stats"})",
                                      R"(8 {"raw":2,"type":"global_stats"})"}));
}

// The flows move out of the table into the legacy document, and the table is left empty.
TEST(LegacyPayloadTest, TheFlowTableMovesIntoTheDocumentAndIsEmptied) {
  kppInterfaceFlows flows;
  flows["eth0"].emplace(1, json{{"digest", "01"}});
  flows["wlan0"].emplace(2, json{{"digest", "02"}});
  Dispatched sent;
  kppDispatchLegacyPayload(SampleDocuments(), flows, sent.Dispatch());
  EXPECT_TRUE(flows.empty());
  ASSERT_EQ(sent.documents.size(), 3u);
  EXPECT_EQ(sent.documents[0],
            R"(1 {"devices":{},"flows":{"eth0":[{"digest":"01"}],"wlan0":[{"digest":"02"}]},)"
            R"("interfaces":{"eth0":{"role":"LAN"}},"stats":{"eth0":{"raw":1}},"uptime":7,)"
            R"("version":1.9})");
  EXPECT_EQ(sent.documents[2], R"(2 {"type":"agent_status","uptime":7})");
  const json hello = json::parse(sent.documents[1].substr(2));
  EXPECT_EQ(hello.at("type"), "agent_hello");
  EXPECT_EQ(hello.at("json_version"), 1.9);
  EXPECT_EQ(hello.size(), 4u);
}

TEST(LegacyPayloadTest, AFailingDispatchEndsTheFamily) {
  kppInterfaceFlows flows;
  int calls = 0;
  EXPECT_THROW(kppDispatchLegacyPayload(SampleDocuments(), flows,
                                        [&](kppChannelConfig::Type, const json&) {
                                          if (++calls == 2) throw std::runtime_error("down");
                                        }),
               std::runtime_error);
  EXPECT_EQ(calls, 2);
}

}  // namespace
