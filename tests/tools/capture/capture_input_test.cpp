// Capture input: the files that cannot be played and their messages, a file damaged in the
// middle or after its first record, captures without a flow, standard input, streams, pcapng,
// and several files merged in timestamp order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/tools/capture/play.h"
#include "tools/capture/capture_source.h"

namespace capture_test {
namespace {

using capture::CaptureError;
using capture::CaptureSource;
using capture::InterfaceSpec;

Bytes Udp4(const char* src, const char* dst, uint16_t sport, uint16_t dport, size_t payload = 4) {
  return EthFrame(1, 2, Ipv4(src, dst, 17, Udp(sport, dport, Bytes(payload))));
}

// The message Open throws for `spec`, or "" when it opens.
std::string OpenError(const InterfaceSpec& spec) {
  try {
    CaptureSource source({spec}, {}, kBuckets);
    source.Open();
  } catch (const CaptureError& e) {
    return e.what();
  }
  return "";
}

TEST(CaptureInputTest, FilesThatCannotBePlayedAreRefusedBeforeAnything) {
  TempPath text, empty, frame_relay, directory_file;
  WriteFile(text.Path(), "time,src,dst\n1,10.0.0.1,10.0.0.2\n");
  WriteFile(empty.Path(), "");
  WritePcap(frame_relay.Path(), 107, {Frame{kT0, Bytes(30)}});
  const std::string missing = text.Path() + ".missing";
  const struct {
    std::string file;
    std::string message;
  } cases[] = {
      {missing, missing + ": No such file or directory"},
      {text.Path(), text.Path() + ": unknown file format"},
      {empty.Path(),
       empty.Path() + ": truncated dump file; tried to read 4 file header bytes, only got 0"},
      {frame_relay.Path(), frame_relay.Path() + ": unsupported link type FRELAY (107)"},
      {"/", "/: error reading dump file: Is a directory"},
  };
  for (const auto& c : cases) {
    InterfaceSpec spec;
    spec.file = c.file;
    EXPECT_EQ(OpenError(spec), c.message);
  }
}

TEST(CaptureInputTest, BadInterfaceAddressesAndNetworksAreRefused) {
  InterfaceSpec spec;
  spec.file = "x.pcap";
  spec.addrs = {"10.0.0.300"};
  try {
    CaptureSource source({spec}, {}, kBuckets);
    ADD_FAILURE() << "accepted a bad address";
  } catch (const CaptureError& e) {
    EXPECT_STREQ(e.what(), "10.0.0.300: not an address");
  }
  capture::TrackerSettings settings;
  for (const char* net : {"10.0.0.0/33", "fd00::/129", "10.0.0.0/", "example/8", "10.0.0.0/8x"}) {
    settings.local_nets = {"192.168.0.0/16", net};
    spec.addrs.clear();
    try {
      CaptureSource source({spec}, settings, kBuckets);
      ADD_FAILURE() << "accepted " << net;
    } catch (const CaptureError& e) {
      EXPECT_EQ(e.what(), std::string(net) + ": not a network");
    }
  }
  InterfaceSpec twin = spec;
  try {
    CaptureSource source({spec, twin}, {}, kBuckets);
    ADD_FAILURE() << "accepted one name twice";
  } catch (const CaptureError& e) {
    EXPECT_STREQ(e.what(), "x.pcap: interface named twice");
  }
}

TEST(CaptureInputTest, DamagedFilePlaysEverythingBeforeTheDamageThenTellsIt) {
  TempPath file;
  WritePcap(file.Path(), 1,
            {Frame{kT0, Udp4("10.0.0.1", "10.0.0.2", 1000, 53)},
             Frame{kT0 + 20 * kSecond, Udp4("10.0.0.1", "10.0.0.3", 1000, 53)},
             Frame{kT0 + 21 * kSecond, Udp4("10.0.0.1", "10.0.0.4", 1000, 53, 100)}});
  // The last record loses the end of its packet bytes.
  std::string bytes = ReadFile(file.Path());
  bytes.resize(bytes.size() - 50);
  WriteFile(file.Path(), bytes);

  InterfaceSpec spec;
  spec.file = file.Path();
  auto played = Play({spec});
  EXPECT_EQ(played->error,
            file.Path() + ": truncated dump file; tried to read 142 captured bytes, only got 92");
  // Two flows, each announced and purged; the update at 15 s and the last one.
  const auto news = played->recorder.Of(Delivered::kNew);
  ASSERT_EQ(news.size(), 2u);
  EXPECT_EQ(news[1]->identity.upper, "10.0.0.3:53");
  EXPECT_EQ(played->recorder.Of(Delivered::kPurge).size(), 2u);
  const auto updates = played->recorder.Of(Delivered::kUpdate);
  ASSERT_EQ(updates.size(), 2u);
  EXPECT_EQ(updates[0]->time_ms, kT0 / 1000 + 15000);
  EXPECT_EQ(updates[1]->time_ms, kT0 / 1000 + 20000);
  EXPECT_EQ(updates[0]->interface_stats.at(0).second.pkt_raw +
                updates[1]->interface_stats.at(0).second.pkt_raw,
            2u);
}

TEST(CaptureInputTest, ARecordTimedASecondOrMorePastItsSecondIsDamage) {
  // The second record's fraction in microseconds, or in nanoseconds (nanosecond magic).
  const std::pair<bool, uint32_t> cases[] = {
      {false, 1000000}, {false, 4294967295u}, {true, 1000000000u}, {true, 4294967295u}};
  for (const auto& [nanoseconds, fraction] : cases) {
    SCOPED_TRACE(fraction);
    TempPath file;
    const Bytes first = Udp4("10.0.0.1", "10.0.0.2", 1000, 53);
    WritePcap(file.Path(), 1, {Frame{kT0, first}, Frame{kT0 + kSecond, first}});
    std::string bytes = ReadFile(file.Path());
    if (nanoseconds) bytes.replace(0, 4, "\x4d\x3c\xb2\xa1");
    for (int i = 0; i < 4; i++) bytes[24 + 16 + first.size() + 4 + i] = char(fraction >> (8 * i));
    WriteFile(file.Path(), bytes);
    InterfaceSpec spec;
    spec.file = file.Path();
    auto played = Play({spec});
    EXPECT_EQ(played->error, file.Path() + ": record 2: time fraction of a second or more");
    EXPECT_EQ(played->recorder.Of(Delivered::kPurge).size(), 1u);
    const auto updates = played->recorder.Of(Delivered::kUpdate);
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0]->interface_stats.at(0).second.pkt_raw, 1u);
  }
}

TEST(CaptureInputTest, LastUpdateCountsEveryFrameReadWithOrWithoutFlows) {
  const Bytes arp = Ether(Mac(2), Mac(1), 0x0806, Bytes(28));  // 42 bytes
  Bytes bad = Udp4("10.0.0.1", "10.0.0.2", 1, 2);              // 46 bytes
  bad[14] = 0x43;                                              // IPv4 header length 12
  const Bytes frag = EthFrame(1, 2, Ipv4("10.0.0.1", "10.0.0.2", 17, Bytes(8), 0, 0x0010));
  const Bytes udp = Udp4("10.0.0.1", "10.0.0.2", 1000, 53);
  // Frames a second apart (`cut`: the last loses 10 bytes), the flows, and the last update's raw,
  // ethernet, discarded, discarded bytes, fragmented, ip and udp counters.
  const struct {
    const char* name;
    std::vector<Bytes> frames;
    bool cut;
    size_t flows;
    std::vector<uint64_t> counters;
  } cases[] = {
      {"ARP only", {arp, arp, arp}, false, 0, {3, 0, 3, 126, 0, 0, 0}},
      {"malformed only", {bad, bad}, false, 0, {2, 0, 2, 92, 0, 0, 0}},
      {"fragments after the first only", {frag, frag}, false, 0, {2, 2, 0, 0, 2, 2, 2}},
      {"a flow's record, then damage", {udp, udp}, true, 1, {1, 1, 0, 0, 0, 1, 1}},
      {"an ARP record, then damage", {arp, udp}, true, 0, {1, 0, 1, 42, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Frame> frames;
    for (const Bytes& bytes : c.frames) frames.push_back({kT0 + frames.size() * kSecond, bytes});
    OneFile file(frames);
    const std::string bytes = ReadFile(file.Path());
    if (c.cut) WriteFile(file.Path(), bytes.substr(0, bytes.size() - 10));
    auto played = Play({file.Spec()});
    const char* damage = ": truncated dump file; tried to read 46 captured bytes, only got 36";
    EXPECT_EQ(played->error, c.cut ? file.Path() + damage : "");
    EXPECT_EQ(played->recorder.Of(Delivered::kNew).size(), c.flows);
    const auto updates = played->recorder.Of(Delivered::kUpdate);
    ASSERT_EQ(updates.size(), 1u);
    const kvPacketStats& s = updates[0]->global_stats;
    EXPECT_EQ((std::vector<uint64_t>{s.pkt_raw, s.pkt_eth, s.pkt_discard, s.pkt_discard_bytes,
                                     s.pkt_frags, s.pkt_ip, s.pkt_udp}),
              c.counters);
  }
}

// The bytes of a small pcapng file: a section, an Ethernet interface and one enhanced packet.
std::string Pcapng(const Bytes& packet, uint64_t time_us) {
  std::string out;
  auto u32 = [&out](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&out](uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  u32(0x0a0d0d0a), u32(28), u32(0x1a2b3c4d), u16(1), u16(0), u32(0xffffffff), u32(0xffffffff),
      u32(28);
  u32(1), u32(20), u16(1), u16(0), u32(0), u32(20);
  const uint32_t padded = static_cast<uint32_t>((packet.size() + 3) / 4 * 4);
  u32(6), u32(32 + padded), u32(0), u32(static_cast<uint32_t>(time_us >> 32)),
      u32(static_cast<uint32_t>(time_us)), u32(static_cast<uint32_t>(packet.size())),
      u32(static_cast<uint32_t>(packet.size()));
  out.append(reinterpret_cast<const char*>(packet.data()), packet.size());
  out.append(padded - packet.size(), '\0');
  u32(32 + padded);
  return out;
}

TEST(CaptureInputTest, PcapngStreamsAndStandardInput) {
  const Bytes packet = Udp4("10.0.0.1", "10.0.0.2", 1000, 53);
  const std::string pcapng = Pcapng(packet, kT0 + 123456);

  // A stream in memory, as the fuzzer reads.
  {
    std::string copy = pcapng;
    InterfaceSpec spec;
    spec.file = "memory.pcapng";
    spec.stream = fmemopen(copy.data(), copy.size(), "rb");
    auto played = Play({spec});
    EXPECT_EQ(played->error, "");
    const auto news = played->recorder.Of(Delivered::kNew);
    ASSERT_EQ(news.size(), 1u);
    EXPECT_EQ(news[0]->identity.iface, "memory.pcapng");
    EXPECT_EQ(news[0]->snapshot.first_seen, (kT0 + 123456) / 1000);
    EXPECT_EQ(news[0]->snapshot.stats.lower_total_bytes, packet.size());
  }
  // Standard input, named "stdin".
  {
    TempPath file;
    WriteFile(file.Path(), pcapng);
    FILE* in = std::fopen(file.Path().c_str(), "rb");
    ASSERT_NE(in, nullptr);
    const int saved = dup(STDIN_FILENO);
    ASSERT_EQ(dup2(fileno(in), STDIN_FILENO), STDIN_FILENO);
    std::fclose(in);
    clearerr(stdin);
    InterfaceSpec spec;
    spec.file = "-";
    std::unique_ptr<Played> played;
    {
      capture::TrackerSettings settings;
      played = Play({spec}, settings);
    }
    dup2(saved, STDIN_FILENO);
    close(saved);
    EXPECT_EQ(played->error, "");
    const auto news = played->recorder.Of(Delivered::kNew);
    ASSERT_EQ(news.size(), 1u);
    EXPECT_EQ(news[0]->identity.iface, "stdin");
  }
}

TEST(CaptureInputTest, FilesMergeInTimestampOrderAndTheClockNeverGoesBack) {
  TempPath a, b;
  // File a is out of order: its second packet is older than its first.
  WritePcap(a.Path(), 1,
            {Frame{kT0 + 3 * kSecond, Udp4("10.0.0.1", "10.0.0.9", 1, 53)},
             Frame{kT0 + 1 * kSecond, Udp4("10.0.0.1", "10.0.0.9", 2, 53)},
             Frame{kT0 + 5 * kSecond, Udp4("10.0.0.1", "10.0.0.9", 3, 53)}});
  WritePcap(b.Path(), 12,
            {Frame{kT0 + 2 * kSecond, Ipv4("10.0.1.1", "10.0.1.9", 17, Udp(4, 53))},
             Frame{kT0 + 4 * kSecond, Ipv4("10.0.1.1", "10.0.1.9", 17, Udp(5, 53))}});
  InterfaceSpec sa, sb;
  sa.file = a.Path();
  sa.name = "a";
  sb.file = b.Path();
  sb.name = "b";
  sb.role = kvInterface::ROLE_WAN;
  auto played = Play({sa, sb});
  EXPECT_EQ(played->error, "");
  std::vector<std::string> order;
  for (const Delivered* d : played->recorder.Of(Delivered::kNew)) {
    order.push_back(d->identity.iface + " " + d->identity.lower + " " +
                    std::to_string((d->snapshot.first_seen - kT0 / 1000)));
  }
  // b's packet at 2 s comes between a's at 3 s (read first) and a's late one, which is played at
  // the clock's 3 s, not its own 1 s.
  EXPECT_EQ(order,
            (std::vector<std::string>{"b 10.0.1.1:4 2000", "a 10.0.0.1:1 3000", "a 10.0.0.1:2 3000",
                                      "b 10.0.1.1:5 4000", "a 10.0.0.1:3 5000"}));
  const auto updates = played->recorder.Of(Delivered::kUpdate);
  ASSERT_EQ(updates.size(), 1u);
  const auto& stats = updates[0]->interface_stats;
  ASSERT_EQ(stats.size(), 2u);
  EXPECT_EQ(stats[0].first, "a");
  EXPECT_EQ(stats[0].second.pkt_raw, 3u);
  EXPECT_EQ(stats[0].second.pkt_eth, 3u);
  EXPECT_EQ(stats[1].first, "b");
  EXPECT_EQ(stats[1].second.pkt_raw, 2u);
  EXPECT_EQ(stats[1].second.pkt_eth, 0u);
  EXPECT_EQ(updates[0]->global_stats.pkt_raw, 5u);
  EXPECT_EQ(updates[0]->global_stats.pkt_udp, 5u);
  EXPECT_EQ(updates[0]->global_stats.pkt_wire_bytes,
            stats[0].second.pkt_wire_bytes + stats[1].second.pkt_wire_bytes);
  EXPECT_EQ(updates[0]->global_stats.pkt_maxlen, stats[0].second.pkt_maxlen);
}

TEST(CaptureInputTest, InterfaceRecordsCarryNameRoleFileAndAddresses) {
  InterfaceSpec spec;
  spec.file = "/captures/office.pcap";
  spec.role = kvInterface::ROLE_WAN;
  spec.addrs = {"192.0.2.1", "2001:db8::1", "02:00:00:00:00:01"};
  InterfaceSpec unnamed;
  unnamed.file = "-";
  CaptureSource source({spec, unnamed}, {}, kBuckets);
  auto& interfaces = source.Interfaces();
  ASSERT_EQ(interfaces.size(), 2u);
  const kvInterface& office = *interfaces.at("office.pcap");
  EXPECT_EQ(office.name, "office.pcap");
  EXPECT_EQ(office.role, kvInterface::ROLE_WAN);
  EXPECT_EQ(office.capture_type, kvInterface::CAPTURE_PCAP_OFFLINE);
  EXPECT_EQ(office.capture_file, "/captures/office.pcap");
  std::vector<std::string> addrs;
  for (const kvAddr& addr : office.addrs.addrs) addrs.push_back(FlowIdentity::Text(addr, false));
  std::sort(addrs.begin(), addrs.end());
  EXPECT_EQ(addrs, (std::vector<std::string>{"02:00:00:00:00:01", "192.0.2.1", "2001:db8::1"}));
  EXPECT_EQ(interfaces.at("stdin")->capture_file, "-");
  EXPECT_EQ(interfaces.at("stdin")->role, kvInterface::ROLE_LAN);
}

}  // namespace
}  // namespace capture_test
