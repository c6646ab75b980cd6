// Flow-event documents: the document of each event kind, the purge reason, the interface role and
// the full encodings that flow-statistics events file per interface and digest.
#include <string>
#include <vector>

#include "payload_fixture.h"

namespace korvel_test {
namespace {

using EncodeFlowTest = PayloadTest;

TEST_F(EncodeFlowTest, DocumentOfEachKind) {
  struct Case {
    uint16_t kind;
    const char* envelope;
    std::vector<const char*> flow;
  };
  const Case cases[] = {
      {1,
       R"({"type": "flow_stats", "interface": "eth0", "internal": true})",
       {kIdentity, kCounters}},
      {4,
       R"({"type": "flow_purge", "reason": "expired", "interface": "eth0", "internal": true})",
       {kIdentity, kCounters}},
      {6,
       R"({"type": "flow", "interface": "eth0", "internal": true})",
       {kIdentity, kMetadata, kTunnel}},
      {7,
       R"({"type": "flow_dpi_update", "interface": "eth0", "internal": true})",
       {kIdentity, kMetadata, kTunnel, kCounters}},
      {8,
       R"({"type": "flow_dpi_complete", "interface": "eth0", "internal": true})",
       {kIdentity, kMetadata, kTunnel, kCounters}},
  };
  for (const Case& c : cases) {
    json expected = json::parse(c.envelope);
    expected["flow"] = Blocks(c.flow);
    EXPECT_EQ(Encode(c.kind, flow), expected) << "kind " << c.kind;
  }
}

TEST_F(EncodeFlowTest, OtherKindsLeaveTheDocumentNull) {
  for (uint16_t kind : {0, 2, 3, 5, 9, 13, 257}) {
    EXPECT_TRUE(Encode(kind, flow).is_null()) << "kind " << kind;
  }
  EXPECT_TRUE(plugin.interface_flows.empty());
}

TEST_F(EncodeFlowTest, PurgeReasonNeedsTcpAndTheClosedFlag) {
  struct Case {
    uint8_t ip_protocol;
    uint8_t tcp_closed;
    const char* reason;
  };
  const Case cases[] = {
      {6, 1, "closed"}, {6, 0, "expired"}, {17, 1, "expired"}, {17, 0, "expired"}};
  for (const Case& c : cases) {
    flow->ip_protocol = c.ip_protocol;
    flow->tcp_closed = c.tcp_closed;
    EXPECT_EQ(Encode(4, flow).at("reason"), c.reason)
        << "protocol " << int(c.ip_protocol) << " closed " << int(c.tcp_closed);
  }
}

TEST_F(EncodeFlowTest, InternalOnlyForTheLanRole) {
  const std::pair<uint8_t, bool> cases[] = {{1, true}, {0, false}, {2, false}, {7, false}};
  for (const auto& [role, internal] : cases) {
    auto iface = MakeInterface("if" + std::to_string(role), role);
    const json document = Encode(8, SampleFlow(iface));
    EXPECT_EQ(document.at("interface"), "if" + std::to_string(role));
    EXPECT_EQ(document.at("internal"), internal) << "role " << int(role);
  }
}

TEST_F(EncodeFlowTest, FlowStatisticsFileTheFirstFullEncodingPerDigest) {
  const json full = Blocks({kIdentity, kMetadata, kTunnel, kCounters});
  Encode(1, flow);
  ASSERT_EQ(plugin.interface_flows.size(), 1u);
  ASSERT_EQ(plugin.interface_flows.at("eth0").size(), 1u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").at(0xa1), full);

  // A second event for the digest, with other counters: its own document carries them, the filed
  // encoding stays the first.
  kvFlowStats later = SampleStats();
  later.lower_bytes = 11;
  const json second = Encode(1, flow, later);
  EXPECT_EQ(second.at("type"), "flow_stats");
  EXPECT_EQ(second.at("flow").at("local_bytes"), 11);
  EXPECT_EQ(plugin.interface_flows.at("eth0").size(), 1u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").at(0xa1), full);

  // Other digests and other interfaces get entries of their own; other kinds file nothing.
  Encode(1, SampleFlow(lan, 0xb2));
  Encode(1, SampleFlow(MakeInterface("wan0", kvInterface::ROLE_WAN), 0xc3));
  for (uint16_t kind : {4, 6, 7, 8}) Encode(kind, SampleFlow(lan, 0xd4));
  EXPECT_EQ(plugin.interface_flows.size(), 2u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").size(), 2u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").at(0xb2).at("digest"), "00000000000000b2");
  EXPECT_EQ(plugin.interface_flows.at("wan0").size(), 1u);
  EXPECT_EQ(plugin.interface_flows.at("wan0").at(0xc3).at("digest"), "00000000000000c3");
}

TEST_F(EncodeFlowTest, FilingKeyIsTheCurrentDigest) {
  flow->digest_history = {0x01, 0x02};
  Encode(1, flow);
  ASSERT_EQ(plugin.interface_flows.at("eth0").count(0xa1), 1u);
  EXPECT_EQ(plugin.interface_flows.at("eth0").at(0xa1).at("digest"), "0000000000000002");
}

TEST_F(EncodeFlowTest, SerializedMemberOrder) {
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

}  // namespace
}  // namespace korvel_test
