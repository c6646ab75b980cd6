// Tests of the "gtp" object of kvFlow::Encode: keys by the tunnel's lower-map, identifiers, texts.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "flow_samples.h"

namespace korvel_test {
namespace {

// The plain sample flow carried in a GTP tunnel from 203.0.113.1:2152 (lower) to
// 203.0.113.2:2153, tunnel identifiers stored as the bytes 00 00 01 02 and 00 01 00 00.
void FillGtpFlow(kvFlow& flow) {
  FillPlainFlow(flow);
  flow.tunnel_type = kvFlow::TUNNEL_GTP;
  flow.gtp.version = 1;
  flow.gtp.ip_version = 4;
  flow.gtp.ip_dscp = 46;
  flow.gtp.lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow.gtp.other_type = 5;
  const uint8_t lower_teid[4] = {0x00, 0x00, 0x01, 0x02};
  const uint8_t upper_teid[4] = {0x00, 0x01, 0x00, 0x00};
  std::memcpy(&flow.gtp.lower_teid, lower_teid, sizeof(lower_teid));
  std::memcpy(&flow.gtp.upper_teid, upper_teid, sizeof(upper_teid));
  flow.gtp.lower_addr = AddrOf("203.0.113.1:2152");
  flow.gtp.upper_addr = AddrOf("203.0.113.2:2153");
}

json EncodeTunnel(const kvFlow& flow) {
  json doc;
  flow.Encode(doc, SampleStats(), Flags(2));
  return doc;
}

using FlowTunnel = FlowEncodeTest;

TEST_F(FlowTunnel, TunnelFlagAloneAddsOnlyGtp) {
  kvFlow flow;
  FillGtpFlow(flow);
  EXPECT_EQ(EncodeTunnel(flow), json::parse(R"({
    "digest": "fedcba9876543210", "digest_prev": ["fedcba9876543210"], "last_seen_at": 200,
    "gtp": {"version": 1, "ip_version": 4, "ip_dscp": 46,
            "local_ip": "203.0.113.1", "other_ip": "203.0.113.2",
            "local_port": 2152, "other_port": 2153,
            "local_teid": 258, "other_teid": 65536, "other_type": "remote"}
  })"));
}

TEST_F(FlowTunnel, TunnelLowerMapTwoExchangesEveryEndpointKey) {
  kvFlow flow;
  FillGtpFlow(flow);
  flow.gtp.lower_map = kvFlow::LOWER_MAP_OTHER;
  EXPECT_EQ(EncodeTunnel(flow).at("gtp"), json::parse(R"({
    "version": 1, "ip_version": 4, "ip_dscp": 46,
    "other_ip": "203.0.113.1", "local_ip": "203.0.113.2",
    "other_port": 2152, "local_port": 2153,
    "other_teid": 258, "local_teid": 65536, "other_type": "remote"})"));
}

TEST_F(FlowTunnel, TunnelLowerMapOneIgnoresTheFlowsLowerMap) {
  kvFlow flow;
  FillGtpFlow(flow);
  flow.lower_map = kvFlow::LOWER_MAP_OTHER;
  EXPECT_EQ(EncodeTunnel(flow).at("gtp"), json::parse(R"({
    "version": 1, "ip_version": 4, "ip_dscp": 46,
    "local_ip": "203.0.113.1", "other_ip": "203.0.113.2",
    "local_port": 2152, "other_port": 2153,
    "local_teid": 258, "other_teid": 65536, "other_type": "remote"})"));
}

TEST_F(FlowTunnel, UnknownTunnelLowerMapTakesTheFlowsAddressKeysOnly) {
  kvFlow flow;
  FillGtpFlow(flow);
  flow.gtp.lower_map = 0;
  flow.lower_map = kvFlow::LOWER_MAP_OTHER;
  EXPECT_EQ(EncodeTunnel(flow).at("gtp"), json::parse(R"({
    "version": 1, "ip_version": 4, "ip_dscp": 46,
    "other_ip": "203.0.113.1", "local_ip": "203.0.113.2",
    "other_port": 2152, "local_port": 2153,
    "local_teid": 258, "other_teid": 65536, "other_type": "remote"})"));

  flow.gtp.lower_map = 9;
  flow.lower_map = kvFlow::LOWER_MAP_LOCAL;
  EXPECT_EQ(EncodeTunnel(flow).at("gtp"), json::parse(R"({
    "version": 1, "ip_version": 4, "ip_dscp": 46,
    "local_ip": "203.0.113.1", "other_ip": "203.0.113.2",
    "local_port": 2152, "other_port": 2153,
    "local_teid": 258, "other_teid": 65536, "other_type": "remote"})"));
}

TEST_F(FlowTunnel, OtherTypeTable) {
  const std::pair<uint8_t, const char*> cases[] = {
      {0, "unsupported"}, {1, "unsupported"}, {2, "local"},
      {3, "unsupported"}, {4, "unsupported"}, {5, "remote"},
      {6, "error"},       {7, "unsupported"}, {255, "unsupported"},
  };
  for (const auto& [value, text] : cases) {
    kvFlow flow;
    FillGtpFlow(flow);
    flow.gtp.other_type = value;
    EXPECT_EQ(EncodeTunnel(flow).at("gtp").at("other_type"), json(text))
        << "other-type " << int(value);
  }
}

TEST_F(FlowTunnel, TunnelAddressesAreNeverMasked) {
  kvFlow flow;
  FillGtpFlow(flow);
  flow.privacy_mask = 0x0f;
  const json gtp = EncodeTunnel(flow).at("gtp");
  EXPECT_EQ(Pick(gtp, {"local_ip", "other_ip"}),
            json::parse(R"({"local_ip": "203.0.113.1", "other_ip": "203.0.113.2"})"));
}

TEST_F(FlowTunnel, MissingTunnelAddressesWriteNoAddressKeys) {
  kvFlow flow;
  FillGtpFlow(flow);
  flow.gtp.lower_addr.Clear();
  flow.gtp.upper_addr.Clear();
  EXPECT_EQ(EncodeTunnel(flow).at("gtp"), json::parse(R"({
    "version": 1, "ip_version": 4, "ip_dscp": 46, "local_port": 0, "other_port": 0,
    "local_teid": 258, "other_teid": 65536, "other_type": "remote"})"));
}

TEST_F(FlowTunnel, NoGtpForOtherTunnelTypes) {
  for (uint8_t tunnel_type : {0, 2, 255}) {
    kvFlow flow;
    FillGtpFlow(flow);
    flow.tunnel_type = tunnel_type;
    EXPECT_EQ(EncodeTunnel(flow), json::parse(R"({"digest": "fedcba9876543210",
                                                  "digest_prev": ["fedcba9876543210"],
                                                  "last_seen_at": 200})"))
        << "tunnel type " << int(tunnel_type);
  }
}

TEST_F(FlowTunnel, NoGtpWithoutTheTunnelFlag) {
  kvFlow flow;
  FillGtpFlow(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(5));
  EXPECT_FALSE(doc.contains("gtp"));
  EXPECT_EQ(doc.at("local_ip"), json("10.0.0.1"));
}

}  // namespace
}  // namespace korvel_test
