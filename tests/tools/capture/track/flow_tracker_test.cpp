// Flow tracking through the capture source: identity and ordering, the local side, counters
// per update and in total, TCP close, resets, retransmissions and sequence errors, idle expiry,
// GTP-U tunnels, endpoint tables and the status counts.
#include <gtest/gtest.h>
#include <xxhash.h>

#include <string>
#include <vector>

#include "tests/tools/capture/play.h"

namespace capture_test {
namespace {

using capture::InterfaceSpec;
using capture::TrackerSettings;

constexpr uint8_t kSyn = 0x02, kAck = 0x10, kFin = 0x01, kRst = 0x04, kPsh = 0x08;

Bytes Udp4(const char* src, const char* dst, uint16_t sport, uint16_t dport, size_t payload = 4) {
  return Ipv4(src, dst, 17, Udp(sport, dport, Bytes(payload)));
}

// The deliveries as short words: "new f1", "dpi f1" (event 7), "done f1" (event 8), "purge f1",
// "update 15 [f1 f2]" (seconds after kT0).
std::string Sequence(const Recorder& recorder) {
  std::string out;
  for (const Delivered& d : recorder.delivered) {
    if (!out.empty()) out += ", ";
    switch (d.kind) {
      case Delivered::kNew:
        out += "new " + d.flow;
        break;
      case Delivered::kPurge:
        out += "purge " + d.flow;
        break;
      case Delivered::kSettle:
        out += "settle";
        break;
      case Delivered::kDpiUpdate:
        out += "dpi " + d.flow;
        break;
      case Delivered::kDpiComplete:
        out += "done " + d.flow;
        break;
      case Delivered::kUpdate: {
        out += "update " + std::to_string((d.time_ms - kT0 / 1000) / 1000) + " [";
        for (size_t i = 0; i < d.walk.size(); i++) out += (i ? " " : "") + d.walk[i].first;
        out += "]";
        break;
      }
    }
  }
  return out;
}

struct SideCase {
  const char* name;
  Bytes packet;
  std::vector<std::string> addrs;
  std::vector<std::string> local_nets;
  const char* expected;  // lower upper lower_map origin other_type lower_mac upper_mac vlan dscp
};

TEST(FlowTrackerTest, IdentityOrderingLocalSideOriginAndOtherType) {
  const SideCase cases[] = {
      {"local client to a remote server",
       EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5000, 53)),
       {},
       {},
       "8.8.8.8:53 192.168.1.10:5000 map 2 origin 2 other 5 02:00:00:00:00:02 "
       "02:00:00:00:00:01 vlan 0 dscp 0"},
      {"remote first",
       EthFrame(2, 1, Udp4("8.8.8.8", "192.168.1.10", 53, 5000)),
       {},
       {},
       "8.8.8.8:53 192.168.1.10:5000 map 2 origin 1 other 5 02:00:00:00:00:02 "
       "02:00:00:00:00:01 vlan 0 dscp 0"},
      {"both local: the lower is the local side",
       EthFrame(1, 2, Udp4("10.0.0.2", "10.0.0.1", 80, 999)),
       {},
       {},
       "10.0.0.1:999 10.0.0.2:80 map 1 origin 2 other 2 02:00:00:00:00:02 02:00:00:00:00:01 "
       "vlan 0 dscp 0"},
      {"neither local: the lower is the local side",
       EthFrame(1, 2, Udp4("203.0.113.5", "198.51.100.7", 1, 2)),
       {},
       {},
       "198.51.100.7:2 203.0.113.5:1 map 1 origin 2 other 5 02:00:00:00:00:02 "
       "02:00:00:00:00:01 vlan 0 dscp 0"},
      {"the interface's own address is local",
       EthFrame(1, 2, Udp4("198.51.100.7", "203.0.113.5", 1, 2)),
       {"203.0.113.5"},
       {},
       "198.51.100.7:1 203.0.113.5:2 map 2 origin 1 other 5 02:00:00:00:00:01 "
       "02:00:00:00:00:02 vlan 0 dscp 0"},
      {"local networks replace the default ones",
       EthFrame(1, 2, Udp4("192.168.1.10", "203.0.113.5", 1, 2)),
       {},
       {"203.0.113.0/24"},
       "192.168.1.10:1 203.0.113.5:2 map 2 origin 1 other 5 02:00:00:00:00:01 "
       "02:00:00:00:00:02 vlan 0 dscp 0"},
      {"multicast",
       EthFrame(1, 2, Udp4("192.168.1.10", "239.255.255.250", 1900, 1900)),
       {},
       {},
       "192.168.1.10:1900 239.255.255.250:1900 map 1 origin 1 other 3 02:00:00:00:00:01 "
       "02:00:00:00:00:02 vlan 0 dscp 0"},
      {"broadcast",
       EthFrame(1, 2, Udp4("192.168.1.10", "255.255.255.255", 68, 67)),
       {},
       {},
       "192.168.1.10:68 255.255.255.255:67 map 1 origin 1 other 4 02:00:00:00:00:01 "
       "02:00:00:00:00:02 vlan 0 dscp 0"},
      {"one address: the smaller port is lower",
       EthFrame(1, 2, Udp4("127.0.0.1", "127.0.0.1", 5000, 80)),
       {},
       {},
       "127.0.0.1:80 127.0.0.1:5000 map 1 origin 2 other 2 02:00:00:00:00:02 "
       "02:00:00:00:00:01 vlan 0 dscp 0"},
      {"IPv6 unique-local to global",
       EthFrame(1, 2, Ipv6("fd00::5", "2001:db8::1", 6, Tcp(40000, 443, 0, kSyn), 10)),
       {},
       {},
       "[2001:db8::1]:443 [fd00::5]:40000 map 2 origin 2 other 5 02:00:00:00:00:02 "
       "02:00:00:00:00:01 vlan 0 dscp 10"},
      {"ICMP has no ports",
       EthFrame(1, 2, Ipv4("192.168.1.10", "8.8.8.8", 1, Icmp())),
       {},
       {},
       "8.8.8.8:0 192.168.1.10:0 map 2 origin 2 other 5 02:00:00:00:00:02 02:00:00:00:00:01 "
       "vlan 0 dscp 0"},
      {"tagged, with DSCP",
       Ether(Mac(2), Mac(1), 0x8100,
             Cat({Bytes{0x00, 0x2a, 0x08, 0x00},
                  Ipv4("192.168.1.10", "8.8.8.8", 17, Udp(5000, 53), 46)})),
       {},
       {},
       "8.8.8.8:53 192.168.1.10:5000 map 2 origin 2 other 5 02:00:00:00:00:02 "
       "02:00:00:00:00:01 vlan 42 dscp 46"},
  };
  for (const SideCase& c : cases) {
    SCOPED_TRACE(c.name);
    OneFile file({Frame{kT0, c.packet}});
    TrackerSettings settings;
    settings.local_nets = c.local_nets;
    auto played = Play({file.Spec(c.addrs)}, settings);
    const Delivered* created = played->recorder.NewOf("f1");
    ASSERT_NE(created, nullptr);
    const FlowIdentity& id = created->identity;
    EXPECT_EQ(id.lower + " " + id.upper + " map " + std::to_string(id.lower_map) + " origin " +
                  std::to_string(id.origin) + " other " + std::to_string(id.other_type) + " " +
                  id.lower_mac + " " + id.upper_mac + " vlan " + std::to_string(id.vlan_id) +
                  " dscp " + std::to_string(id.ip_dscp),
              c.expected);
    EXPECT_EQ(id.iface, "lan0");
  }
}

TEST(FlowTrackerTest, LinkTypesWithoutEthernetLeaveTheMacsEmpty) {
  OneFile file({Frame{kT0, Udp4("192.168.1.10", "8.8.8.8", 5000, 53)}}, 12);
  auto played = Play({file.Spec()});
  const Delivered* created = played->recorder.NewOf("f1");
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->identity.lower_mac, "");
  EXPECT_EQ(created->identity.upper_mac, "");
}

TEST(FlowTrackerTest, DigestCoversTheIdentityAndIsStable) {
  auto digest = [](const Bytes& packet, int link_type = 1) {
    OneFile file({Frame{kT0, packet}}, link_type);
    auto played = Play({file.Spec()});
    return played->recorder.NewOf("f1")->identity.digest;
  };
  const uint64_t forward = digest(EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5000, 53)));
  // A fixed value, the same on every run and machine: XXH64 of the bytes docs/capture.md lists.
  EXPECT_EQ(forward, 12106294927458087353u);
  const uint8_t identity[] = {4, 17, 0, 0, 8, 8, 8, 8, 0, 53, 192, 168, 1, 10, 0x13, 0x88};
  EXPECT_EQ(forward, XXH64(identity, sizeof(identity), 0));
  // The other direction, another link type and other MACs: the same flow, the same digest.
  EXPECT_EQ(digest(Udp4("8.8.8.8", "192.168.1.10", 53, 5000), 12), forward);
  EXPECT_NE(digest(EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5001, 53))), forward);
  EXPECT_NE(digest(EthFrame(1, 2, Ipv4("192.168.1.10", "8.8.8.8", 6, Tcp(5000, 53, 0, kSyn)))),
            forward);
  EXPECT_NE(digest(Ether(
                Mac(2), Mac(1), 0x8100,
                Cat({Bytes{0x00, 0x07, 0x08, 0x00}, Udp4("192.168.1.10", "8.8.8.8", 5000, 53)}))),
            forward);
}

TEST(FlowTrackerTest, CountersPerUpdateAddUpToTheTotals) {
  // f1 talks both ways across three updates; f2 sends once and expires idle.
  OneFile file({
      Frame{kT0, EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5000, 53, 100))},
      Frame{kT0 + 1 * kSecond, EthFrame(1, 2, Udp4("192.168.1.11", "8.8.4.4", 6000, 53, 10))},
      Frame{kT0 + 5 * kSecond, EthFrame(2, 1, Udp4("8.8.8.8", "192.168.1.10", 53, 5000, 300))},
      Frame{kT0 + 20 * kSecond, EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5000, 53, 40))},
      Frame{kT0 + 40 * kSecond, EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5000, 53, 0))},
  });
  auto played = Play({file.Spec()});
  const Recorder& r = played->recorder;
  EXPECT_EQ(Sequence(r),
            "new f1, dpi f1, new f2, settle, update 15 [f1 f2], update 30 [f1], done f2, purge f2, "
            "update 40 [f1], "
            "done f1, purge f1");

  // The walk's counters of f1 (lower 8.8.8.8:53 is the other side): per update, then totals.
  std::vector<std::string> walked;
  uint64_t lower = 0, upper = 0, lower_packets = 0, upper_packets = 0;
  for (const Delivered* u : r.Of(Delivered::kUpdate)) {
    for (const auto& [name, snap] : u->walk) {
      if (name != "f1") continue;
      const kvFlowStats& s = snap.stats;
      walked.push_back(std::to_string(s.lower_bytes) + "/" + std::to_string(s.lower_packets) + " " +
                       std::to_string(s.upper_bytes) + "/" + std::to_string(s.upper_packets) +
                       " of " + std::to_string(s.lower_total_bytes) + " " +
                       std::to_string(s.upper_total_bytes) + " rate " +
                       std::to_string(s.upper_rate));
      lower += s.lower_bytes, upper += s.upper_bytes;
      lower_packets += s.lower_packets, upper_packets += s.upper_packets;
    }
  }
  // Frames: 14 + 20 + 8 + payload.
  EXPECT_EQ(walked, (std::vector<std::string>{"342/1 142/1 of 342 142 rate 9.466666",
                                              "0/0 82/1 of 342 224 rate 5.466667",
                                              "0/0 42/1 of 342 266 rate 2.800000"}));
  const Delivered* purge = r.PurgeOf("f1");
  ASSERT_NE(purge, nullptr);
  const kvFlowStats& end = purge->snapshot.stats;
  EXPECT_EQ(lower + end.lower_bytes, end.lower_total_bytes);
  EXPECT_EQ(upper + end.upper_bytes, end.upper_total_bytes);
  EXPECT_EQ(lower_packets + end.lower_packets, end.lower_total_packets);
  EXPECT_EQ(upper_packets + end.upper_packets, end.upper_total_packets);
  EXPECT_EQ(end.total_bytes, 342u + 266u);
  EXPECT_EQ(end.total_packets, 4u);
  EXPECT_EQ(purge->snapshot.first_seen, kT0 / 1000);
  EXPECT_EQ(purge->snapshot.last_seen, kT0 / 1000 + 40000);
  EXPECT_EQ(purge->snapshot.tcp_closed, 0);

  // f2 is purged with nothing new since its walk; its event-6 record counted its first packet.
  const Delivered* f2 = r.PurgeOf("f2");
  ASSERT_NE(f2, nullptr);
  EXPECT_EQ(f2->snapshot.stats.upper_packets, 0u);
  EXPECT_EQ(f2->snapshot.stats.upper_total_packets, 1u);
  EXPECT_FALSE(f2->snapshot.stats_ready);
  EXPECT_EQ(r.NewOf("f2")->snapshot.stats.upper_packets, 1u);
  EXPECT_EQ(r.NewOf("f2")->snapshot.stats.upper_bytes, 52u);

  // The status counts of each update.
  std::vector<std::string> status;
  for (const Delivered* u : r.Of(Delivered::kUpdate)) {
    const kvInstanceStatus& s = u->status;
    status.push_back(std::to_string(s.flow_count) + " " + std::to_string(s.flow_count_prev) +
                     " active " + std::to_string(s.flows_active) + " purged " +
                     std::to_string(s.flows_purged) + " expired " +
                     std::to_string(s.flows_expired) + " up " + std::to_string(s.uptime));
  }
  EXPECT_EQ(status, (std::vector<std::string>{"2 0 active 2 purged 0 expired 0 up 15",
                                              "2 2 active 1 purged 0 expired 0 up 30",
                                              "1 2 active 1 purged 1 expired 1 up 40"}));
}

TEST(FlowTrackerTest, TcpCloseLingersThenPurges) {
  const char* c = "192.168.1.10";
  const char* s = "93.184.216.34";
  auto out = [&](uint64_t at_ms, uint32_t seq, uint8_t flags, size_t payload = 0) {
    return Frame{kT0 + at_ms * 1000,
                 EthFrame(1, 2, Ipv4(c, s, 6, Tcp(40000, 80, seq, flags, payload)))};
  };
  auto in = [&](uint64_t at_ms, uint32_t seq, uint8_t flags, size_t payload = 0) {
    return Frame{kT0 + at_ms * 1000,
                 EthFrame(2, 1, Ipv4(s, c, 6, Tcp(80, 40000, seq, flags, payload)))};
  };
  const Frame other{kT0 + 9 * kSecond, EthFrame(1, 2, Udp4(c, "8.8.8.8", 5353, 53))};
  OneFile file({out(0, 100, kSyn), in(10, 900, kSyn | kAck), out(20, 101, kAck),
                out(30, 101, kAck | kPsh, 50), in(40, 901, kAck | kPsh, 500),
                out(50, 151, kFin | kAck), in(60, 1401, kFin | kAck), out(70, 152, kAck), other});
  auto played = Play({file.Spec()});
  // The closed flow lingers 2 s after its last segment, then goes before the next packet.
  EXPECT_EQ(Sequence(played->recorder),
            "new f1, settle, done f1, purge f1, new f2, settle, update 9 [f2], done f2, purge f2");
  const Delivered* purge = played->recorder.PurgeOf("f1");
  EXPECT_EQ(purge->snapshot.tcp_closed, 1);
  // The final acknowledgement after both FINs still counts.
  EXPECT_EQ(purge->snapshot.stats.upper_total_packets, 5u);  // 192.168.1.10 is upper
  EXPECT_EQ(purge->snapshot.stats.lower_total_packets, 3u);
  EXPECT_EQ(purge->snapshot.last_seen, kT0 / 1000 + 70);
  EXPECT_EQ(purge->snapshot.stats.tcp_retrans, 0u);
  EXPECT_EQ(purge->snapshot.stats.tcp_seq_errors, 0u);
  EXPECT_EQ(played->recorder.PurgeOf("f2")->snapshot.tcp_closed, 0);
}

TEST(FlowTrackerTest, ResetsRetransmissionsSequenceErrorsAndReuse) {
  const char* c = "10.1.1.1";
  const char* s = "10.1.1.2";
  auto seg = [&](uint64_t at_ms, uint32_t seq, uint8_t flags, size_t payload,
                 uint16_t sport = 1234) {
    return Frame{kT0 + at_ms * 1000,
                 EthFrame(1, 2, Ipv4(c, s, 6, Tcp(sport, 22, seq, flags, payload)))};
  };
  TrackerSettings settings;
  settings.tcp_idle_s = 10;
  OneFile file({
      seg(0, 1000, kSyn, 0), seg(10, 1001, kAck, 100),  // in order
      seg(20, 1001, kAck, 100),                         // retransmission
      seg(30, 1051, kAck, 100),                         // overlaps what was seen: retransmission
      seg(40, 1500, kAck, 10),                          // jumps ahead: sequence error
      seg(50, 1510, kAck, 0),                           // a bare acknowledgement is not judged
      seg(60, 1510, kRst, 0),                           // reset: closed
      seg(70, 5000, kSyn, 0),  // a new connection on the same ports while the old lingers
      seg(80, 7000, kSyn, 0, 4321),
      seg(30000, 7001, kAck, 1, 4321),  // both idled out (10 s) long before: a new flow
  });
  auto played = Play({file.Spec()}, settings);
  EXPECT_EQ(Sequence(played->recorder),
            "new f1, settle, done f1, purge f1, new f2, new f3, settle, done f2, purge f2, done "
            "f3, purge f3, update 15 [], "
            "update 30 [], new f4, settle, update 30 [f4], done f4, purge f4");
  const kvFlowStats& first = played->recorder.PurgeOf("f1")->snapshot.stats;
  EXPECT_EQ(first.tcp_resets, 1u);
  EXPECT_EQ(first.tcp_retrans, 2u);
  EXPECT_EQ(first.tcp_seq_errors, 1u);
  EXPECT_EQ(played->recorder.PurgeOf("f1")->snapshot.tcp_closed, 1);
  EXPECT_EQ(played->recorder.PurgeOf("f2")->snapshot.tcp_closed, 0);
  const auto updates = played->recorder.Of(Delivered::kUpdate);
  EXPECT_EQ(updates[0]->interface_stats[0].second.pkt_tcp_resets, 1u);
  EXPECT_EQ(updates[0]->interface_stats[0].second.pkt_tcp_seq_error, 1u);
  EXPECT_EQ(updates[0]->interface_stats[0].second.pkt_tcp, 9u);
  EXPECT_EQ(updates[0]->global_stats.pkt_tcp_resets, 1u);
}

TEST(FlowTrackerTest, IdleExpiryIsStrictlyAfterTheIdleTime) {
  const Bytes packet = EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5000, 53));
  TrackerSettings settings;
  settings.update_interval_s = 100;
  OneFile same({Frame{kT0, packet}, Frame{kT0 + 30 * kSecond, packet}});
  EXPECT_EQ(Sequence(Play({same.Spec()}, settings)->recorder),
            "new f1, settle, update 30 [f1], done f1, purge f1");
  OneFile later({Frame{kT0, packet}, Frame{kT0 + 30 * kSecond + 1, packet}});
  EXPECT_EQ(Sequence(Play({later.Spec()}, settings)->recorder),
            "new f1, settle, done f1, purge f1, new f2, settle, update 30 [f2], done f2, purge f2");
  settings.udp_idle_s = 60;
  EXPECT_EQ(Sequence(Play({later.Spec()}, settings)->recorder),
            "new f1, settle, update 30 [f1], done f1, purge f1");
}

TEST(FlowTrackerTest, AGapInTheCaptureCostsOneEmptyUpdate) {
  const Bytes packet = EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5000, 53));
  OneFile file({Frame{kT0, packet}, Frame{kT0 + 86400 * kSecond, packet}});
  EXPECT_EQ(Sequence(Play({file.Spec()})->recorder),
            "new f1, settle, update 15 [f1], update 30 [], done f1, purge f1, update 45 [], update "
            "60 [], "
            "new f2, settle, update 86400 [f2], done f2, purge f2");
}

TEST(FlowTrackerTest, GtpTunnelRecord) {
  const Bytes inner = Ipv4("10.45.0.7", "93.184.216.34", 6, Tcp(40000, 443, 1, kSyn), 18);
  const Bytes reply = Ipv4("93.184.216.34", "10.45.0.7", 6, Tcp(443, 40000, 9, kSyn | kAck));
  OneFile file({
      Frame{kT0, EthFrame(1, 2,
                          Ipv4("198.51.100.1", "203.0.113.2", 17,
                               Udp(2152, 2152, Gtp(0x0000abcd, inner, true, {1})), 4))},
      Frame{kT0 + 1000, EthFrame(2, 1,
                                 Ipv4("203.0.113.2", "198.51.100.1", 17,
                                      Udp(2152, 2152, Gtp(0x00001234, reply))))},
  });
  auto played = Play({file.Spec({"198.51.100.1"})});
  const Recorder& r = played->recorder;
  EXPECT_EQ(Sequence(r), "new f1, settle, update 0 [f1], done f1, purge f1");
  const FlowIdentity& id = r.NewOf("f1")->identity;
  EXPECT_EQ(id.lower + " " + id.upper, "10.45.0.7:40000 93.184.216.34:443");
  EXPECT_EQ(id.tunnel_type, kvFlow::TUNNEL_GTP);
  EXPECT_EQ(id.ip_dscp, 18);
  EXPECT_EQ(id.gtp.version, 1);
  EXPECT_EQ(id.gtp.ip_version, 4);
  EXPECT_EQ(id.gtp.ip_dscp, 18);
  EXPECT_EQ(id.gtp_lower + " " + id.gtp_upper, "198.51.100.1:2152 203.0.113.2:2152");
  EXPECT_EQ(id.gtp.lower_map, kvFlow::LOWER_MAP_LOCAL);
  EXPECT_EQ(id.gtp.other_type, 5);
  // The first packet went to the upper endpoint: only its identifier is known at first.
  EXPECT_EQ(ntohl(r.NewOf("f1")->snapshot.upper_teid), 0xabcdu);
  EXPECT_EQ(r.NewOf("f1")->snapshot.lower_teid, 0u);
  EXPECT_EQ(ntohl(r.PurgeOf("f1")->snapshot.lower_teid), 0x1234u);
  EXPECT_EQ(r.PurgeOf("f1")->snapshot.stats.lower_total_packets, 1u);
  EXPECT_EQ(r.PurgeOf("f1")->snapshot.stats.upper_total_packets, 1u);
}

TEST(FlowTrackerTest, EndpointTablesListLocalDevicesSeenInTheUpdate) {
  OneFile file({
      Frame{kT0, EthFrame(1, 9, Udp4("192.168.1.10", "8.8.8.8", 5000, 53))},
      Frame{kT0 + 1, EthFrame(1, 9, Ipv6("fd00::10", "2001:db8::1", 17, Udp(1, 2)))},
      Frame{kT0 + 2, EthFrame(3, 9, Udp4("192.168.1.30", "8.8.8.8", 5000, 53))},
      Frame{kT0 + 3, EthFrame(4, 5, Udp4("203.0.113.1", "198.51.100.1", 1, 2))},  // no local side
      Frame{kT0 + 20 * kSecond, EthFrame(3, 9, Udp4("192.168.1.30", "8.8.8.8", 5000, 53))},
  });
  auto played = Play({file.Spec()});
  const auto updates = played->recorder.Of(Delivered::kUpdate);
  ASSERT_EQ(updates.size(), 2u);
  EXPECT_EQ(updates[0]->endpoints,
            (std::vector<std::string>{"lan0 02:00:00:00:00:01 192.168.1.10 fd00::10",
                                      "lan0 02:00:00:00:00:03 192.168.1.30"}));
  EXPECT_EQ(updates[1]->endpoints,
            (std::vector<std::string>{"lan0 02:00:00:00:00:03 192.168.1.30"}));
}

TEST(FlowTrackerTest, DiscardedFramesAreCountedAndMakeNoFlow) {
  OneFile file({Frame{kT0, Ether(Mac(2), Mac(1), 0x0806, Bytes(28))}, Frame{kT0 + 1, Bytes(10)},
                Frame{kT0 + 2, EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", 5000, 53))}});
  auto played = Play({file.Spec()});
  EXPECT_EQ(Sequence(played->recorder), "new f1, settle, update 0 [f1], done f1, purge f1");
  const kvPacketStats& stats =
      played->recorder.Of(Delivered::kUpdate)[0]->interface_stats[0].second;
  EXPECT_EQ(stats.pkt_raw, 3u);
  EXPECT_EQ(stats.pkt_discard, 2u);
  EXPECT_EQ(stats.pkt_discard_bytes, 42u + 10u);
  EXPECT_EQ(stats.pkt_eth, 1u);
  EXPECT_EQ(stats.pkt_wire_bytes, 42u + 10u + 46u);
}

}  // namespace
}  // namespace capture_test

namespace capture_test {
namespace {

// Each update's per-interface "flow_dropped" and "raw", and the global "flow_dropped".
std::string Dropped(const Recorder& recorder) {
  std::string out;
  for (const Delivered* u : recorder.Of(Delivered::kUpdate)) {
    out += out.empty() ? "" : ", ";
    for (const auto& [name, s] : u->interface_stats) {
      out += name + " " + std::to_string(s.flow_dropped) + "/" + std::to_string(s.pkt_raw) + " ";
    }
    out += "all " + std::to_string(u->global_stats.flow_dropped);
  }
  return out;
}

struct LimitCase {
  const char* name;
  uint64_t max_flows;
  std::vector<Frame> lan0, lan1;  // lan1 empty: one interface
  const char* sequence;
  const char* dropped;
};

TEST(FlowTrackerTest, TheFlowTableHoldsAtMostItsLimit) {
  auto udp = [](uint64_t at_s, uint16_t sport, uint64_t plus_us = 0) {
    return Frame{kT0 + at_s * kSecond + plus_us,
                 EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", sport, 53))};
  };
  auto tcp = [](uint64_t at_ms, uint32_t seq, uint8_t flags) {
    return Frame{kT0 + at_ms * 1000,
                 EthFrame(1, 2, Ipv4("10.1.1.1", "10.1.1.2", 6, Tcp(1234, 22, seq, flags)))};
  };
  const LimitCase cases[] = {
      {"at the limit", 2, {udp(0, 1), udp(1, 2), udp(2, 1)}, {},
       "new f1, new f2, settle, update 2 [f1 f2], done f1, purge f1, done f2, purge f2",
       "lan0 0/3 all 0"},
      {"one past: its packets count, twice for two", 2,
       {udp(0, 1), udp(1, 2), udp(2, 3), udp(3, 3), udp(4, 1)}, {},
       "new f1, new f2, settle, update 4 [f1 f2], done f1, purge f1, done f2, purge f2",
       "lan0 2/5 all 2"},
      {"no limit", 0, {udp(0, 1), udp(1, 2), udp(2, 3)}, {},
       "new f1, new f2, new f3, settle, update 2 [f1 f2 f3], done f1, purge f1, done f2, purge "
       "f2, done f3, purge f3",
       "lan0 0/3 all 0"},
      {"a flow that ends makes room, before the packet that finds it", 1,
       {udp(0, 1), udp(10, 2), udp(20, 2), udp(30, 2, 1)}, {},
       "new f1, settle, update 15 [f1], update 30 [], done f1, purge f1, new f2, settle, update "
       "30 [f2], done f2, purge f2",
       "lan0 1/2 all 1, lan0 1/1 all 1, lan0 0/1 all 0"},
      {"a new connection on a lingering closed one takes its place", 1,
       {tcp(0, 100, kSyn), tcp(10, 101, kRst), tcp(20, 500, kSyn), udp(1, 1)}, {},
       "new f1, settle, done f1, purge f1, new f2, settle, update 1 [f2], done f2, purge f2",
       "lan0 1/4 all 1"},
      {"interfaces share the table and count their own drops", 2,
       {udp(0, 1), udp(2, 3)}, {udp(1, 2), udp(3, 4), udp(4, 4)},
       "new f1, new f2, settle, update 4 [f1 f2], done f1, purge f1, done f2, purge f2",
       "lan0 1/2 lan1 2/3 all 3"},
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    OneFile first(c.lan0), second(c.lan1);
    std::vector<InterfaceSpec> specs{first.Spec(), second.Spec()};
    specs[1].name = "lan1";
    if (c.lan1.empty()) specs.pop_back();
    TrackerSettings settings;
    settings.max_flows = c.max_flows;
    auto played = Play(specs, settings);
    EXPECT_EQ(Sequence(played->recorder), c.sequence);
    EXPECT_EQ(Dropped(played->recorder), c.dropped);
  }
}

TEST(FlowTrackerTest, ALongRunOfPurgesSettlesAfterEachMaxRetiredFlows) {
  std::vector<Frame> frames;
  for (uint16_t port = 1; port <= 7; port++) {
    frames.push_back(Frame{kT0 + port, EthFrame(1, 2, Udp4("192.168.1.10", "8.8.8.8", port, 53))});
  }
  OneFile file(frames);
  TrackerSettings settings;
  settings.max_retired_flows = 3;
  EXPECT_EQ(Sequence(Play({file.Spec()}, settings)->recorder),
            "new f1, new f2, new f3, new f4, new f5, new f6, new f7, settle, update 0 [f1 f2 f3 f4 "
            "f5 f6 f7], done f1, purge f1, done f2, purge f2, done f3, purge f3, settle, done f4, "
            "purge f4, done f5, purge f5, done f6, purge f6, settle, done f7, purge f7");
}

}  // namespace
}  // namespace capture_test
