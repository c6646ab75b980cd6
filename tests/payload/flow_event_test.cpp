// Flow-event documents: kinds without one, the purge reason, the interface role, the printed
// document, and the full encodings that flow-statistics events file per interface and digest.
#include <string>
#include <vector>

#include "payload_fixture.h"

namespace korvel_test {
namespace {

using FlowEventTest = PayloadTest;

TEST_F(FlowEventTest, DocumentByKindReasonAndRole) {
  for (uint16_t kind : {0, 2, 3, 5, 9, 13, 257}) {
    EXPECT_TRUE(Encode(kind, flow).is_null()) << "kind " << kind;
  }
  EXPECT_TRUE(plugin.interface_flows.empty());
  // The reason needs TCP and the closed flag.
  const std::pair<int, const char*> reasons[] = {
      {0x601, "closed"}, {0x600, "expired"}, {0x1101, "expired"}, {0x1100, "expired"}};
  for (const auto& [bits, reason] : reasons) {
    flow->ip_protocol = bits >> 8;
    flow->tcp_closed = bits & 1;
    EXPECT_EQ(Encode(4, flow).at("reason"), reason) << std::hex << bits;
  }
  // "internal" only for the LAN role.
  for (uint8_t role : {0, 1, 2, 7}) {
    const json document = Encode(8, SampleFlow(MakeInterface("if" + std::to_string(role), role)));
    EXPECT_EQ(document.at("interface"), "if" + std::to_string(role));
    EXPECT_EQ(document.at("internal"), role == 1) << "role " << int(role);
  }
  // The whole printed document of an expired purge: members in key order, number kinds kept.
  flow->ip_protocol = 6;
  flow->tcp_closed = 0;
  EXPECT_EQ(Encode(4, flow).dump(),
            R"({"flow":{"detection_packets":5,"digest":"00000000000000a1",)"
            R"("digest_prev":["00000000000000a1"],"last_seen_at":1700000005000,)"
            R"("local_bytes":10,"local_packets":1,"local_rate":0.5,"other_bytes":20,)"
            R"("other_packets":2,"other_rate":0.25,"tcp":{"resets":8,"retrans":9,)"
            R"("seq_errors":7},"total_bytes":30,"total_local_bytes":100,)"
            R"("total_local_packets":11,"total_other_bytes":200,"total_other_packets":12,)"
            R"("total_packets":3},"interface":"eth0","internal":true,"reason":"expired",)"
            R"("type":"flow_purge"})");
}

TEST_F(FlowEventTest, FlowStatisticsFileTheFirstFullEncodingPerDigest) {
  const json full = Blocks({kIdentity, kMetadata, kTunnel, kCounters});
  Encode(1, flow);
  ASSERT_EQ(plugin.interface_flows.size(), 1u);
  ASSERT_EQ(plugin.interface_flows.at("eth0").size(), 1u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").at(0xa1), full);

  // A second event for the digest, with other counters: its own document carries them, the filed
  // encoding stays the first.
  kvFlowStats later = SampleStats();
  later.lower_bytes = 11;
  EXPECT_EQ(Encode(1, flow, later).at("flow").at("local_bytes"), 11);
  EXPECT_EQ(plugin.interface_flows.at("eth0").size(), 1u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").at(0xa1), full);

  // Other digests and other interfaces get entries of their own; other kinds file nothing. The
  // key is the flow's digest, whatever the encoding's "digest" (the last of the history).
  auto b2 = SampleFlow(lan, 0xb2);
  b2->digest_history = {0x01, 0x02};
  Encode(1, b2);
  Encode(1, SampleFlow(MakeInterface("wan0", kvInterface::ROLE_WAN), 0xc3));
  for (uint16_t kind : {4, 6, 7, 8}) Encode(kind, SampleFlow(lan, 0xd4));
  EXPECT_EQ(plugin.interface_flows.size(), 2u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").size(), 2u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").at(0xb2).at("digest"), "0000000000000002");
  EXPECT_EQ(plugin.interface_flows.at("wan0").size(), 1u);
  EXPECT_EQ(plugin.interface_flows.at("wan0").at(0xc3).at("digest"), "00000000000000c3");
}

// Without a legacy-http channel nothing is filed, and the statistics document is the same.
TEST_F(FlowEventTest, FlowStatisticsFileNothingWithoutALegacyHttpChannel) {
  kvFlowStats later = SampleStats();
  later.upper_packets = 40;
  const json with_legacy = Encode(1, flow, later);
  ASSERT_EQ(plugin.interface_flows.at("eth0").size(), 1u);
  plugin.interface_flows.clear();

  plugin.channel_types.store(kAllChannelTypes & ~kppChannelConfig::TYPE_LEGACY_HTTP);
  EXPECT_EQ(Encode(1, flow, later), with_legacy);
  EXPECT_EQ(Encode(1, SampleFlow(MakeInterface("wan0", kvInterface::ROLE_WAN), 0xc3))
                .at("flow")
                .at("digest"),
            "00000000000000c3");
  EXPECT_TRUE(plugin.interface_flows.empty());
  EXPECT_EQ(with_legacy.at("flow").at("other_packets"), 40);
}

}  // namespace
}  // namespace korvel_test
