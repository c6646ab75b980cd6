// The legacy family of an update: the legacy document with the filed flows, "agent_hello" and the
// legacy "agent_status", and which channels receive them.
#include <string>
#include <vector>

#include "payload_fixture.h"

namespace korvel_test {
namespace {

constexpr const char kHello[] =
    R"({"agent_version":"25.0.3","build_version":"25.0.3/x86_64-pc-linux-gnu )"
    R"([conntrack;inotify;netlink;nfqueue;tpv3;zlib]","json_version":1.9,"type":"agent_hello"})";

class LegacyPayloadTest : public PayloadTest {
 protected:
  LegacyPayloadTest() {
    plugin.sinks["archive"]["http"] = Channel(kppChannelConfig::TYPE_LEGACY_HTTP);
    plugin.sinks["archive"]["socket"] = Channel(kppChannelConfig::TYPE_LEGACY_SOCKET);
    plugin.sinks["bus"]["all-but-legacy"] =
        Channel(kppChannelConfig::TYPE_STREAM_FLOWS | kppChannelConfig::TYPE_STREAM_STATS);
  }

  // Sends the legacy family of the update, as the worker does at its end.
  void FinishUpdate() { plugin.DispatchLegacyPayload(plugin.TakeUpdateDocuments()); }
};

TEST_F(LegacyPayloadTest, BeforeAnyEvent) {
  FinishUpdate();
  EXPECT_EQ(Routes(),
            (std::vector<std::string>{"archive/http 1", "archive/socket 25", "archive/socket 25"}));
  const std::vector<json> payloads = Payloads();
  ASSERT_EQ(payloads.size(), 3u);
  EXPECT_EQ(payloads[0].dump(), R"({"devices":null,"interfaces":null,"stats":null,"version":1.9})");
  EXPECT_TRUE(payloads[0].at("version").is_number_float());
  EXPECT_EQ(payloads[1].dump(), kHello);
  EXPECT_EQ(payloads[2], json::parse(R"({"type": "agent_status"})"));
}

TEST_F(LegacyPayloadTest, UpdateWithDocumentsAndFlowsOfTwoInterfaces) {
  auto wan = MakeInterface("wan0", kvInterface::ROLE_WAN);
  Encode(1, SampleFlow(wan, 0xc3));
  Encode(1, SampleFlow(lan, 0xb2));
  Encode(1, flow);
  kvFlowStats later = SampleStats();
  later.lower_bytes = 11;
  Encode(1, flow, later);  // the digest is filed already: this encoding is not
  const long before = SendUpdateDocuments();
  FinishUpdate();
  const long after = static_cast<long>(time(nullptr));

  ASSERT_EQ(sink.Count(), 3u);
  json legacy = WithoutTimestamp(Payloads()[0], before, after);
  ASSERT_TRUE(legacy.contains("flows")) << legacy;
  for (auto& member : legacy.at("flows").items()) member.value() = ByDigest(member.value());
  json expected = json::parse(kStatusMembers);
  expected.update(json::parse(R"({"version": 1.9})"));
  expected["flows"]["eth0"] =
      json::array({FullFlow("00000000000000a1"), FullFlow("00000000000000b2")});
  expected["flows"]["wan0"] = json::array({FullFlow("00000000000000c3")});
  expected["interfaces"]["eth0"] = json::parse(kEth0);
  expected["devices"] = json::parse(kEth0Endpoints);
  expected["stats"]["eth0"] = PacketCounters(100);
  EXPECT_EQ(legacy, expected);

  EXPECT_EQ(Payloads()[1].dump(), kHello);
  json status = json::parse(kStatusMembers);
  status["type"] = "agent_status";
  EXPECT_EQ(WithoutTimestamp(Payloads()[2], before, after), status);

  // The next update had no events: the emptied documents are copied as they are.
  sink.Clear();
  FinishUpdate();
  ASSERT_EQ(sink.Count(), 3u);
  EXPECT_EQ(Payloads()[0],
            json::parse(R"({"version": 1.9, "interfaces": {}, "devices": {}, "stats": {}})"));
  EXPECT_EQ(Payloads()[1].dump(), kHello);
  EXPECT_EQ(Payloads()[2], json::parse(R"({"type": "agent_status"})"));
}

TEST_F(LegacyPayloadTest, StatusMembersNamedLikeAddedKeysAreReplaced) {
  Encode(1, flow);
  kppUpdateDocuments documents;
  documents.status = json::parse(R"({"version": "s", "interfaces": "s", "devices": "s",
    "stats": "s", "type": "s", "agent_version": "s", "cpu_cores": 2})");
  plugin.DispatchLegacyPayload(documents);
  ASSERT_EQ(sink.Count(), 3u);
  json expected = json::parse(R"({"version": 1.9, "interfaces": null, "devices": null,
    "stats": null, "type": "s", "agent_version": "s", "cpu_cores": 2})");
  expected["flows"]["eth0"] = json::array({FullFlow("00000000000000a1")});
  EXPECT_EQ(Payloads()[0], expected);
  EXPECT_EQ(Payloads()[1].dump(), kHello);
  EXPECT_EQ(Payloads()[2], json::parse(R"({"version": "s", "interfaces": "s", "devices": "s",
    "stats": "s", "type": "agent_status", "agent_version": "s", "cpu_cores": 2})"));
}

TEST_F(LegacyPayloadTest, SocketOnlyConfigurationStillSendsHelloAndStatus) {
  config.Write(R"({"sinks": {"s": {"socket": {"types": ["legacy-socket"], "compressor": "gz"}}}})");
  plugin.Reload();
  ASSERT_EQ(plugin.channel_types.load(), kppChannelConfig::TYPE_LEGACY_SOCKET);
  FinishUpdate();
  EXPECT_EQ(Routes(), (std::vector<std::string>{"s/socket 57", "s/socket 57"}));
  ASSERT_EQ(sink.Count(), 2u);
  EXPECT_EQ(Payloads()[0].dump(), kHello);
  EXPECT_EQ(Payloads()[1], json::parse(R"({"type": "agent_status"})"));
}

}  // namespace
}  // namespace korvel_test
