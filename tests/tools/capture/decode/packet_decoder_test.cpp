// PacketDecoder: every link type, tags, PPPoE, MPLS, IPv6 extension headers and tunnels decoded to
// the flow's fields and counters; malformed frames counted as discarded.
#include "tools/capture/decode/packet_decoder.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/capture/frames.h"
#include "tools/capture/constants.h"

namespace capture_test {
namespace {

using capture::DecodedPacket;
using capture::DecodeResult;
using capture::PacketDecoder;

std::string AddrText(uint8_t version, const capture::Endpoint& e) {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(version == 4 ? AF_INET : AF_INET6, e.addr, text, sizeof(text));
  return std::string(text) + "/" + std::to_string(e.port);
}

// The decoded fields as one line: version, protocol, dscp, vlan, src, dst.
std::string Fields(const DecodedPacket& p) {
  return std::to_string(p.ip_version) + " " + std::to_string(p.protocol) + " dscp " +
         std::to_string(p.dscp) + " vlan " + std::to_string(p.vlan_id) + " " +
         AddrText(p.ip_version, p.src) + " > " + AddrText(p.ip_version, p.dst);
}

// The non-zero counters as "name=value" words, in the record's order.
std::string Counters(const kvPacketStats& s) {
  const std::pair<const char*, uint64_t> all[] = {
      {"raw", s.pkt_raw},         {"eth", s.pkt_eth},
      {"mpls", s.pkt_mpls},       {"pppoe", s.pkt_pppoe},
      {"vlan", s.pkt_vlan},       {"frags", s.pkt_frags},
      {"discard", s.pkt_discard}, {"maxlen", s.pkt_maxlen},
      {"ip", s.pkt_ip},           {"ip4", s.pkt_ip4},
      {"ip6", s.pkt_ip6},         {"icmp", s.pkt_icmp},
      {"igmp", s.pkt_igmp},       {"tcp", s.pkt_tcp},
      {"udp", s.pkt_udp},         {"ip_bytes", s.pkt_ip_bytes},
      {"wire", s.pkt_wire_bytes}, {"discard_bytes", s.pkt_discard_bytes}};
  std::string out;
  for (const auto& [name, value] : all) {
    if (value == 0) continue;
    if (!out.empty()) out += " ";
    out += std::string(name) + "=" + std::to_string(value);
  }
  return out;
}

const Bytes kMacA = Mac(0xaa);
const Bytes kMacB = Mac(0xbb);
const Bytes kTcp4 = Ipv4("10.0.0.1", "192.0.2.9", 6, Tcp(40000, 443, 1, 0x02), 46);  // 40 bytes
const Bytes kUdp6 = Ipv6("fd00::1", "2001:db8::9", 17, Udp(5353, 53));               // 52 bytes

const char* const kTcp4Fields = "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443";
const char* const kUdp6Fields = "6 17 dscp 0 vlan 0 fd00::1/5353 > 2001:db8::9/53";

// A tunnel's outer IPv4 packet of `protocol`.
Bytes Outer(uint8_t protocol, const Bytes& payload) {
  return Ipv4("198.51.100.1", "198.51.100.2", protocol, payload);
}

// kTcp4 inside `levels` IPv4-in-IPv4 tunnels.
Bytes Nested(int levels) {
  return levels == 0 ? kTcp4 : Outer(4, Nested(levels - 1));
}

struct LinkCase {
  const char* name;
  int link_type;
  Bytes frame;
  const char* fields;
  const char* counters;
};

TEST(PacketDecoderTest, LinkTypesTagsAndTunnels) {
  const LinkCase cases[] = {
      {"ethernet", 1, Ether(kMacB, kMacA, 0x0800, kTcp4),
       "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 eth=1 maxlen=54 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=54"},
      {"802.1Q", 1, Ether(kMacB, kMacA, 0x8100, Cat({Bytes{0x20, 0x07, 0x86, 0xdd}, kUdp6})),
       "6 17 dscp 0 vlan 7 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 eth=1 vlan=1 maxlen=70 ip=1 ip6=1 udp=1 ip_bytes=52 wire=70"},
      {"802.1ad 100 outside 802.1Q 5: the inner id", 1,
       Ether(kMacB, kMacA, 0x88a8,
             Cat({Bytes{0x00, 0x64, 0x81, 0x00, 0x00, 0x05, 0x08, 0x00}, kTcp4})),
       "4 6 dscp 46 vlan 5 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 eth=1 vlan=1 maxlen=62 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=62"},
      {"802.1Q 100 outside 802.1Q 4095: the inner id", 1,
       Ether(kMacB, kMacA, 0x8100,
             Cat({Bytes{0x00, 0x64, 0x81, 0x00, 0xef, 0xff, 0x86, 0xdd}, kUdp6})),
       "6 17 dscp 0 vlan 4095 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 eth=1 vlan=1 maxlen=74 ip=1 ip6=1 udp=1 ip_bytes=52 wire=74"},
      {"PPPoE session", 1, Ether(kMacB, kMacA, 0x8864, Pppoe(0x0021, kTcp4)),
       "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 eth=1 pppoe=1 maxlen=62 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=62"},
      {"MPLS two labels", 1,
       Ether(kMacB, kMacA, 0x8847, Cat({Bytes{0, 0, 0x10, 64, 0, 0, 0x21, 64}, kUdp6})),
       "6 17 dscp 0 vlan 0 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 eth=1 mpls=1 maxlen=74 ip=1 ip6=1 udp=1 ip_bytes=52 wire=74"},
      {"Linux cooked v1", 113, Sll(0x0800, kTcp4),
       "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 maxlen=56 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=56"},
      {"Linux cooked v2", 276, Sll2(0x86dd, kUdp6),
       "6 17 dscp 0 vlan 0 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 maxlen=72 ip=1 ip6=1 udp=1 ip_bytes=52 wire=72"},
      {"BSD loopback IPv4", 0, Loopback(2, kTcp4),
       "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 maxlen=44 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=44"},
      {"BSD loopback IPv6 (FreeBSD)", 0, Loopback(28, kUdp6),
       "6 17 dscp 0 vlan 0 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 maxlen=56 ip=1 ip6=1 udp=1 ip_bytes=52 wire=56"},
      {"OpenBSD loop, network order", 108, Cat({Bytes{0, 0, 0, 24}, kUdp6}),
       "6 17 dscp 0 vlan 0 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 maxlen=56 ip=1 ip6=1 udp=1 ip_bytes=52 wire=56"},
      {"raw 12", 12, kUdp6, "6 17 dscp 0 vlan 0 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 maxlen=52 ip=1 ip6=1 udp=1 ip_bytes=52 wire=52"},
      {"raw 14", 14, kTcp4, "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 maxlen=40 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=40"},
      {"raw 101", 101, kTcp4, "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 maxlen=40 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=40"},
      {"IPv4 228", 228, kTcp4, "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 maxlen=40 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=40"},
      {"IPv6 229", 229, kUdp6, "6 17 dscp 0 vlan 0 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 maxlen=52 ip=1 ip6=1 udp=1 ip_bytes=52 wire=52"},
      {"IPv6 hop-by-hop, routing, destination options", 229,
       Ipv6("fd00::1", "fd00::2", 0,
            Cat({Extension(43), Extension(60, 2), Extension(6), Tcp(1, 2, 0, 0x10)}), 10),
       "6 6 dscp 10 vlan 0 fd00::1/1 > fd00::2/2",
       "raw=1 maxlen=92 ip=1 ip6=1 tcp=1 ip_bytes=92 wire=92"},
      {"IPv6 first fragment has ports", 229,
       Ipv6("fd00::1", "fd00::2", 44, Cat({Fragment6(17, 0, true), Udp(7, 9)})),
       "6 17 dscp 0 vlan 0 fd00::1/7 > fd00::2/9",
       "raw=1 frags=1 maxlen=60 ip=1 ip6=1 udp=1 ip_bytes=60 wire=60"},
      {"IPv4 first fragment", 228, Ipv4("10.0.0.1", "10.0.0.2", 17, Udp(7, 9), 0, 0x2000),
       "4 17 dscp 0 vlan 0 10.0.0.1/7 > 10.0.0.2/9",
       "raw=1 frags=1 maxlen=32 ip=1 ip4=1 udp=1 ip_bytes=32 wire=32"},
      {"ICMP has no ports", 228, Ipv4("10.0.0.1", "10.0.0.2", 1, Icmp()),
       "4 1 dscp 0 vlan 0 10.0.0.1/0 > 10.0.0.2/0",
       "raw=1 maxlen=28 ip=1 ip4=1 icmp=1 ip_bytes=28 wire=28"},
      {"ICMPv6", 229, Ipv6("fe80::1", "ff02::1", 58, Icmp()),
       "6 58 dscp 0 vlan 0 fe80::1/0 > ff02::1/0",
       "raw=1 maxlen=48 ip=1 ip6=1 icmp=1 ip_bytes=48 wire=48"},
      {"IGMP", 228, Ipv4("10.0.0.1", "224.0.0.22", 2, Bytes(8)),
       "4 2 dscp 0 vlan 0 10.0.0.1/0 > 224.0.0.22/0",
       "raw=1 maxlen=28 ip=1 ip4=1 igmp=1 ip_bytes=28 wire=28"},
      {"other protocol (GRE)", 228, Ipv4("10.0.0.1", "10.0.0.2", 47, Bytes(4)),
       "4 47 dscp 0 vlan 0 10.0.0.1/0 > 10.0.0.2/0",
       "raw=1 maxlen=24 ip=1 ip4=1 ip_bytes=24 wire=24"},
      {"GTP-U: the inner packet is the flow", 228,
       Ipv4("198.51.100.1", "198.51.100.2", 17, Udp(2152, 2152, Gtp(0x01020304, kTcp4))),
       "4 6 dscp 46 vlan 0 10.0.0.1/40000 > 192.0.2.9/443",
       "raw=1 maxlen=76 ip=1 ip4=1 udp=1 ip_bytes=76 wire=76"},
      {"GTP-U with sequence number and two extension headers", 228,
       Ipv4("198.51.100.1", "198.51.100.2", 17, Udp(40000, 2152, Gtp(7, kUdp6, true, {1, 2}))),
       "6 17 dscp 0 vlan 0 fd00::1/5353 > 2001:db8::9/53",
       "raw=1 maxlen=104 ip=1 ip4=1 udp=1 ip_bytes=104 wire=104"},
      {"GTP echo request stays UDP", 228,
       Ipv4("198.51.100.1", "198.51.100.2", 17,
            Udp(2152, 2152, Bytes{0x32, 0x01, 0, 4, 0, 0, 0, 0, 0, 1, 0, 0})),
       "4 17 dscp 0 vlan 0 198.51.100.1/2152 > 198.51.100.2/2152",
       "raw=1 maxlen=40 ip=1 ip4=1 udp=1 ip_bytes=40 wire=40"},
      {"PPP, protocol compressed to a byte", 9, Cat({Bytes{0x21}, kTcp4}), kTcp4Fields,
       "raw=1 maxlen=41 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=41"},
      {"PPP in HDLC framing", 50, Cat({Bytes{0xff, 0x03, 0x00, 0x57}, kUdp6}), kUdp6Fields,
       "raw=1 maxlen=56 ip=1 ip6=1 udp=1 ip_bytes=52 wire=56"},
      {"Cisco HDLC broadcast on link type PPP", 9, Cat({Bytes{0x8f, 0x00, 0x86, 0xdd}, kUdp6}),
       kUdp6Fields, "raw=1 maxlen=56 ip=1 ip6=1 udp=1 ip_bytes=52 wire=56"},
      {"PPI with a field around 802.11", 192,
       Cat({Bytes{0, 0, 12, 0, 105, 0, 0, 0, 1, 2, 3, 4}, Wlan(0x08, 0x01, 0x86dd, kUdp6)}),
       kUdp6Fields, "raw=1 maxlen=96 ip=1 ip6=1 udp=1 ip_bytes=52 wire=96"},
      {"802.11 QoS data, four addresses, HT control", 105, Wlan(0x88, 0x83, 0x0800, kTcp4),
       kTcp4Fields, "raw=1 maxlen=84 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=84"},
      {"radiotap with TSFT and flags, the frame with its FCS", 127,
       Cat({Bytes{0, 0, 18, 0, 3, 0, 0, 0}, Bytes(8), Bytes{0x10, 0},
            Wlan(0x88, 0x01, 0x86dd, kUdp6), Bytes(4)}),
       kUdp6Fields, "raw=1 maxlen=108 ip=1 ip6=1 udp=1 ip_bytes=52 wire=108"},
      {"radiotap with two present words", 127,
       Cat({Bytes{0, 0, 13, 0, 2, 0, 0, 0x80, 0, 0, 0, 0, 0}, Wlan(0x08, 0x01, 0x0800, kTcp4)}),
       kTcp4Fields, "raw=1 maxlen=85 ip=1 ip4=1 tcp=1 ip_bytes=40 wire=85"},
      {"IPv4 in IPv4: the outer packet's counters", 228, Outer(4, kTcp4), kTcp4Fields,
       "raw=1 maxlen=60 ip=1 ip4=1 ip_bytes=60 wire=60"},
      {"IPv4 in IPv6 after destination options", 229,
       Ipv6("2001:db8::1", "2001:db8::2", 60, Cat({Extension(4), kTcp4})), kTcp4Fields,
       "raw=1 maxlen=88 ip=1 ip6=1 ip_bytes=88 wire=88"},
      {"GRE with checksum, key and sequence number, IPv4", 228,
       Outer(47, Cat({Bytes{0xb0, 0, 0x08, 0}, Bytes(12), kTcp4})), kTcp4Fields,
       "raw=1 maxlen=76 ip=1 ip4=1 ip_bytes=76 wire=76"},
      {"PPTP's GRE carrying PPP and IPv4", 228,
       Outer(47,
             Cat({Bytes{0x30, 1, 0x88, 0x0b, 0, 44, 0, 0, 0, 0, 0, 0, 0xff, 3, 0, 0x21}, kTcp4})),
       kTcp4Fields, "raw=1 maxlen=76 ip=1 ip4=1 ip_bytes=76 wire=76"},
      {"CAPWAP data carrying 802.11", 228,
       Outer(17, Udp(12222, 5247,
                     Cat({Bytes{0, 0x20, 3, 0}, Bytes(12), Wlan(0x08, 0x01, 0x0800, kTcp4)}))),
       kTcp4Fields, "raw=1 maxlen=116 ip=1 ip4=1 udp=1 ip_bytes=116 wire=116"},
      {"CAPWAP data carrying Ethernet", 228,
       Outer(17, Udp(5247, 12222,
                     Cat({Bytes{0, 0x10, 0, 0, 0, 0, 0, 0}, Ether(kMacB, kMacA, 0x800, kTcp4)}))),
       kTcp4Fields, "raw=1 eth=1 maxlen=90 ip=1 ip4=1 udp=1 ip_bytes=90 wire=90"},
      {"eight tunnels deep", 228, Nested(8), kTcp4Fields,
       "raw=1 maxlen=200 ip=1 ip4=1 ip_bytes=200 wire=200"},
      {"IPv4 in a first fragment stays the outer flow", 228,
       Ipv4("198.51.100.1", "198.51.100.2", 4, Bytes(24), 0, 0x2000),
       "4 4 dscp 0 vlan 0 198.51.100.1/0 > 198.51.100.2/0",
       "raw=1 frags=1 maxlen=44 ip=1 ip4=1 ip_bytes=44 wire=44"},
      {"PPTP's GRE with encrypted PPP stays GRE", 228,
       Outer(47, Bytes{0x30, 1, 0x88, 0x0b, 0, 8, 0, 0, 0, 0, 0, 0, 0xff, 3, 0, 0xfd, 1, 2}),
       "4 47 dscp 0 vlan 0 198.51.100.1/0 > 198.51.100.2/0",
       "raw=1 maxlen=38 ip=1 ip4=1 ip_bytes=38 wire=38"},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedPacket packet;
    kvPacketStats stats;
    const uint32_t length = static_cast<uint32_t>(c.frame.size());
    const DecodeResult result =
        PacketDecoder(c.link_type).Decode(c.frame.data(), length, length, packet, stats);
    EXPECT_EQ(result, DecodeResult::kFlow);
    EXPECT_EQ(Fields(packet), c.fields);
    EXPECT_EQ(Counters(stats), c.counters);
  }
}

TEST(PacketDecoderTest, EthernetMacsAndGtpOuterFields) {
  const Bytes frame =
      Ether(kMacB, kMacA, 0x0800,
            Ipv4("198.51.100.1", "198.51.100.2", 17, Udp(40000, 2152, Gtp(0x00000102, kTcp4))));
  DecodedPacket p;
  kvPacketStats stats;
  ASSERT_EQ(PacketDecoder(1).Decode(frame.data(), static_cast<uint32_t>(frame.size()),
                                    static_cast<uint32_t>(frame.size()), p, stats),
            DecodeResult::kFlow);
  EXPECT_TRUE(p.has_macs);
  EXPECT_EQ(Bytes(p.src_mac, p.src_mac + 6), kMacA);
  EXPECT_EQ(Bytes(p.dst_mac, p.dst_mac + 6), kMacB);
  ASSERT_TRUE(p.gtp);
  EXPECT_EQ(p.outer.version, 1);
  EXPECT_EQ(p.outer.ip_version, 4);
  EXPECT_EQ(ntohl(p.outer.teid), 0x102u);
  EXPECT_EQ(AddrText(4, p.outer.src), "198.51.100.1/40000");
  EXPECT_EQ(AddrText(4, p.outer.dst), "198.51.100.2/2152");
  EXPECT_EQ(p.tcp_flags, 0x02);
  EXPECT_EQ(p.tcp_seq, 1u);
  EXPECT_EQ(p.tcp_length, 1u);  // the SYN
}

TEST(PacketDecoderTest, TcpSequenceSpaceCountsPayloadSynAndFin) {
  const struct {
    uint8_t flags;
    size_t payload;
    uint32_t length;
  } cases[] = {{0x10, 0, 0}, {0x18, 100, 100}, {0x02, 0, 1}, {0x11, 5, 6}, {0x03, 0, 2}};
  for (const auto& c : cases) {
    const Bytes frame = Ipv4("10.0.0.1", "10.0.0.2", 6, Tcp(1, 2, 9, c.flags, c.payload));
    DecodedPacket p;
    kvPacketStats stats;
    // Captured only up to the TCP header, as with a short snap length: the length still counts.
    ASSERT_EQ(
        PacketDecoder(228).Decode(frame.data(), 40, static_cast<uint32_t>(frame.size()), p, stats),
        DecodeResult::kFlow);
    EXPECT_EQ(p.tcp_length, c.length) << int(c.flags) << " " << c.payload;
  }
}

TEST(PacketDecoderTest, FragmentsAfterTheFirstBelongToNoFlow) {
  const Bytes frames[] = {
      Ipv4("10.0.0.1", "10.0.0.2", 17, Bytes(16), 0, 0x0002),
      Ipv6("fd00::1", "fd00::2", 44, Cat({Fragment6(17, 3, false), Bytes(16)})),
  };
  for (const Bytes& frame : frames) {
    DecodedPacket p;
    kvPacketStats stats;
    const uint32_t length = static_cast<uint32_t>(frame.size());
    EXPECT_EQ(PacketDecoder(101).Decode(frame.data(), length, length, p, stats),
              DecodeResult::kUntracked);
    EXPECT_EQ(stats.pkt_frags, 1u);
    EXPECT_EQ(stats.pkt_ip, 1u);
    EXPECT_EQ(stats.pkt_udp, 1u);
    EXPECT_EQ(stats.pkt_discard, 0u);
  }
}

struct Malformed {
  const char* name;
  int link_type;
  Bytes frame;
  uint32_t caplen;   // 0: the whole frame
  uint32_t wirelen;  // 0: the whole frame
};

TEST(PacketDecoderTest, MalformedFramesAreDiscardedWithTheirBytes) {
  Bytes bad_ihl = kTcp4;
  bad_ihl[0] = 0x44;
  Bytes long_total = kTcp4;
  Put16(long_total, 2, 41);
  Bytes short_total = kTcp4;
  Put16(short_total, 2, 19);
  Bytes bad_offset = kTcp4;
  bad_offset[20 + 12] = 0x40;
  Bytes wrong_version = kUdp6;
  wrong_version[0] = 0x45;
  Bytes long_payload6 = kUdp6;
  Put16(long_payload6, 4, 13);
  const Malformed cases[] = {
      {"empty frame", 1, Bytes{}, 0, 0},
      {"Ethernet header cut", 1, Bytes(13), 0, 0},
      {"unknown ethertype (ARP)", 1, Ether(kMacB, kMacA, 0x0806, Bytes(28)), 0, 0},
      {"PPPoE discovery", 1, Ether(kMacB, kMacA, 0x8863, Bytes(20)), 0, 0},
      {"PPPoE with a non-IP protocol", 1, Ether(kMacB, kMacA, 0x8864, Pppoe(0xc021, Bytes(8))),
       0, 0},
      {"VLAN tag cut", 1, Ether(kMacB, kMacA, 0x8100, Bytes{0, 1}), 0, 0},
      {"eight stacked tags", 1,
       Ether(kMacB, kMacA, 0x8100,
             Cat({Bytes{0, 1, 0x81, 0}, Bytes{0, 1, 0x81, 0}, Bytes{0, 1, 0x81, 0},
                  Bytes{0, 1, 0x81, 0}, Bytes{0, 1, 0x81, 0}, Bytes{0, 1, 0x81, 0},
                  Bytes{0, 1, 0x81, 0}, Bytes{0, 1, 0x81, 0}, kTcp4})),
       0, 0},
      {"MPLS without bottom of stack", 1, Ether(kMacB, kMacA, 0x8847, Bytes{0, 0, 0, 64}), 0, 0},
      {"Linux cooked header cut", 113, Bytes(15), 0, 0},
      {"Linux cooked v2 header cut", 276, Bytes(19), 0, 0},
      {"loopback family unknown", 0, Loopback(7, kTcp4), 0, 0},
      {"loopback header cut", 0, Bytes(3), 0, 0},
      {"raw, not IP", 101, Bytes{0x10, 0, 0, 0}, 0, 0},
      {"IPv4 header length 16", 228, bad_ihl, 0, 0},
      {"IPv4 total length beyond the frame", 228, long_total, 0, 0},
      {"IPv4 total length below its header", 228, short_total, 0, 0},
      {"IPv4 header cut by the capture", 228, kTcp4, 19, 40},
      {"TCP header cut by the capture", 228, kTcp4, 39, 40},
      {"TCP data offset 4", 228, bad_offset, 0, 0},
      {"UDP header cut", 229, kUdp6, 47, 52},
      {"ICMP header cut", 228, Ipv4("10.0.0.1", "10.0.0.2", 1, Bytes(3)), 0, 0},
      {"IPv6 on link type 228", 228, kUdp6, 0, 0},
      {"IPv4 on link type 229", 229, kTcp4, 0, 0},
      {"IPv6 header cut", 229, kUdp6, 39, 52},
      {"IPv6 payload length beyond the frame", 229, long_payload6, 0, 0},
      {"IPv6 version nibble 4", 229, wrong_version, 0, 0},
      {"IPv6 extension header beyond the packet", 229,
       Ipv6("fd00::1", "fd00::2", 0, Bytes{6, 4, 0, 0, 0, 0, 0, 0}), 0, 0},
      {"seventeen IPv6 extension headers", 229,
       Ipv6("fd00::1", "fd00::2", 60,
            Cat({Extension(60), Extension(60), Extension(60), Extension(60), Extension(60),
                 Extension(60), Extension(60), Extension(60), Extension(60), Extension(60),
                 Extension(60), Extension(60), Extension(60), Extension(60), Extension(60),
                 Extension(60), Extension(6), Tcp(1, 2, 0, 0)})),
       0, 0},
      {"GTP-U length beyond the datagram", 228,
       [] {
         Bytes gtp = Gtp(1, kTcp4);
         Put16(gtp, 2, 200);
         return Ipv4("198.51.100.1", "198.51.100.2", 17, Udp(2152, 2152, gtp));
       }(),
       0, 0},
      {"GTP-U extension of length 0", 228,
       Ipv4("198.51.100.1", "198.51.100.2", 17, Udp(2152, 2152, Gtp(1, kTcp4, true, {0}))), 0,
       0},
      {"GTP-U with nothing inside", 228,
       Ipv4("198.51.100.1", "198.51.100.2", 17, Udp(2152, 2152, Gtp(1, Bytes{}))), 0, 0},
      {"GTP-U inner packet malformed", 228,
       Ipv4("198.51.100.1", "198.51.100.2", 17, Udp(2152, 2152, Gtp(1, bad_ihl))), 0, 0},
      {"PPP protocol cut", 9, Bytes{0xff, 0x03, 0x00}, 0, 0},
      {"Cisco HDLC header cut", 104, Bytes{0x0f, 0x00, 0x08}, 0, 0},
      {"PPI header cut", 192, Bytes{0, 0, 8, 0, 1, 0, 0}, 0, 0},
      {"PPI length beyond the frame", 192, Cat({Bytes{0, 0, 40, 0, 1, 0, 0, 0}, Bytes(8)}), 0, 0},
      {"PPI inside PPI", 192,
       Cat({Bytes{0, 0, 8, 0, 192, 0, 0, 0, 0, 0, 8, 0, 228, 0, 0, 0}, kTcp4}), 0, 0},
      {"radiotap header cut", 127, Bytes{0, 0, 8, 0, 0, 0, 0}, 0, 0},
      {"radiotap length beyond the frame", 127, Bytes{0, 0, 64, 0, 0, 0, 0, 0}, 0, 0},
      {"radiotap present words beyond its length", 127,
       Bytes{0, 0, 12, 0, 0, 0, 0, 0x80, 0, 0, 0, 0x80}, 0, 0},
      {"radiotap flags field beyond its length", 127,
       Cat({Bytes{0, 0, 8, 0, 2, 0, 0, 0}, Wlan(0x08, 0x01, 0x0800, kTcp4)}), 0, 0},
      {"radiotap flags say the FCS is bad", 127,
       Cat({Bytes{0, 0, 9, 0, 2, 0, 0, 0, 0x40}, Wlan(0x08, 0x01, 0x0800, kTcp4)}), 0, 0},
      {"802.11 beacon (management)", 105, Cat({Bytes{0x80, 0x00}, Bytes(34)}), 0, 0},
      {"802.11 null data", 105, Wlan(0x48, 0x01, 0x0800, kTcp4), 0, 0},
      {"802.11 QoS header with HT control cut", 105, Wlan(0x88, 0x83, 0x0800, Bytes{}), 43, 44},
      {"802.11 frame control cut", 105, Bytes{0x08}, 0, 0},
      {"802.11 without LLC/SNAP", 105,
       Cat({Bytes{8, 1}, Bytes(22), Bytes{0xe0, 0xe0, 3, 0, 0, 0, 8, 0}, kTcp4}), 0, 0},
      {"GRE key cut", 228, Outer(47, Bytes{0x20, 0x00, 0x08, 0x00, 0, 0}), 0, 0},
      {"GRE, inner IPv4 malformed", 228, Outer(47, Cat({Bytes{0, 0, 8, 0}, bad_ihl})), 0, 0},
      {"GRE Ethernet cut", 228, Outer(47, Cat({Bytes{0, 0, 0x65, 0x58}, Bytes(13)})), 0, 0},
      {"IPv4 in IPv4, inner header cut by the capture", 228, Outer(4, kTcp4), 39, 60},
      {"IPv6 in IPv4 holding IPv4", 228, Outer(41, kTcp4), 0, 0},
      {"VXLAN Ethernet header cut", 228,
       Outer(17, Udp(1, 4789, Cat({Bytes{8, 0, 0, 0, 0, 0, 1, 0}, Bytes(10)}))), 0, 0},
      {"CAPWAP header length below 8", 228,
       Outer(17, Udp(1, 5247, Bytes{0, 8, 0, 0, 0, 0, 0, 0, 1})), 0, 0},
      {"CAPWAP header length beyond the datagram", 228,
       Outer(17, Udp(1, 5247, Bytes{0, 0xf8, 0, 0, 0, 0, 0, 0, 1, 2})), 0, 0},
      {"CAPWAP carrying an 802.11 beacon", 228,
       Outer(17, Udp(1, 5247, Cat({Bytes{0, 0x10, 3, 0, 0, 0, 0, 0, 0x80, 0}, Bytes(22)}))), 0,
       0},
      {"nine tunnels deep", 228, Nested(9), 0, 0},
  };
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedPacket p;
    kvPacketStats stats;
    const uint32_t size = static_cast<uint32_t>(c.frame.size());
    const uint32_t caplen = c.caplen ? c.caplen : size;
    const uint32_t wirelen = c.wirelen ? c.wirelen : size;
    // Decoded from a heap copy of exactly the captured bytes, so a read beyond them is caught by
    // the address sanitizer.
    std::vector<uint8_t> captured(c.frame.begin(), c.frame.begin() + caplen);
    EXPECT_EQ(PacketDecoder(c.link_type).Decode(captured.data(), caplen, wirelen, p, stats),
              DecodeResult::kDiscarded);
    EXPECT_EQ(Counters(stats),
              "raw=1 discard=1" + (wirelen ? " maxlen=" + std::to_string(wirelen) : std::string()) +
                  (wirelen ? " wire=" + std::to_string(wirelen) +
                                 " discard_bytes=" + std::to_string(wirelen)
                           : std::string()));
  }
}

TEST(PacketDecoderTest, SupportedLinkTypes) {
  for (int type : {0, 1, 9, 12, 14, 50, 101, 104, 105, 108, 113, 127, 192, 228, 229, 276}) {
    EXPECT_TRUE(PacketDecoder::Supports(type)) << type;
  }
  for (int type : {-1, 107, 119, 147, 163}) EXPECT_FALSE(PacketDecoder::Supports(type)) << type;
}

}  // namespace
}  // namespace capture_test
