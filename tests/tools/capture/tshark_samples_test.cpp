// Debian's sample captures played through the capture source and compared with tshark's own
// reading of them: every TCP and UDP conversation is one flow, with tshark's packets and frame
// bytes per direction, first and last frame times, and closed exactly when tshark shows FIN both
// ways or a RST.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/capture/play.h"

namespace capture_test {
namespace {

const char* const kSamples[] = {
    "/usr/share/doc/python3-dpkt/examples/data/http.pcap",
    "/usr/share/doc/python3-dpkt/examples/data/dns_icmp.pcap",
    "/usr/share/doc/python3-dpkt/examples/data/nb6-http.pcap",  // PPPoE
    "/usr/share/gocode/src/github.com/google/gopacket/pcap/test_ethernet.pcap",
    "/usr/share/gocode/src/github.com/google/gopacket/pcap/test_loopback.pcap",  // BSD loopback
    "/usr/share/gocode/src/github.com/google/gopacket/pcap/test_dns.pcap",
};

struct Side {
  uint64_t packets = 0;
  uint64_t bytes = 0;
  bool fin = false;
};

// One conversation: its endpoints ("ADDR PORT") with what each sent.
struct Conversation {
  std::map<std::string, Side> sides;
  uint64_t first_ms = 0;
  uint64_t last_ms = 0;
  bool reset = false;

  bool Closed() const {
    if (reset) return true;
    for (const auto& [endpoint, side] : sides) {
      if (!side.fin) return false;
    }
    return sides.size() == 2;
  }
};

std::string Key(const std::string& a, const std::string& b, const std::string& protocol) {
  return protocol + " " + (a < b ? a + " | " + b : b + " | " + a);
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> out;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, separator)) out.push_back(field);
  if (!line.empty() && line.back() == separator) out.push_back("");
  return out;
}

uint64_t EpochMs(const std::string& text) {
  const size_t dot = text.find('.');
  const uint64_t seconds = std::stoull(text.substr(0, dot));
  std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  fraction = (fraction + "000").substr(0, 3);
  return seconds * 1000 + std::stoull(fraction);
}

// tshark's conversations of `file`, by Key.
std::map<std::string, Conversation> TsharkConversations(const std::string& file) {
  const std::string command =
      "tshark -n -r '" + file +
      "' -T fields -E separator=/t -E occurrence=f -e frame.time_epoch -e frame.len "
      "-e frame.protocols -e ip.src -e ip.dst -e ipv6.src -e ipv6.dst -e tcp.srcport "
      "-e tcp.dstport -e udp.srcport -e udp.dstport -e tcp.flags 2>/dev/null";
  std::map<std::string, Conversation> conversations;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return conversations;
  char buffer[4096];
  while (std::fgets(buffer, sizeof(buffer), pipe)) {
    std::string line(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() < 12) continue;
    // The outermost IP header and the transport right after it.
    const std::vector<std::string> layers = Split(f[2], ':');
    std::string ip, transport;
    for (size_t i = 0; i < layers.size(); i++) {
      if (layers[i] == "ip" || layers[i] == "ipv6") {
        ip = layers[i];
        for (size_t k = i + 1; k < layers.size(); k++) {
          if (layers[k].rfind("ipv6.", 0) == 0) continue;  // IPv6 extension headers
          transport = layers[k];
          break;
        }
        break;
      }
    }
    if (transport != "tcp" && transport != "udp") continue;
    const std::string src = (ip == "ip" ? f[3] : f[5]) + " " + (transport == "tcp" ? f[7] : f[9]);
    const std::string dst = (ip == "ip" ? f[4] : f[6]) + " " + (transport == "tcp" ? f[8] : f[10]);
    Conversation& c = conversations[Key(src, dst, transport)];
    const uint64_t ms = EpochMs(f[0]);
    if (c.sides.empty()) c.first_ms = ms;
    c.last_ms = std::max(c.last_ms, ms);
    Side& side = c.sides[src];
    c.sides[dst];
    side.packets++;
    side.bytes += std::stoull(f[1]);
    if (transport == "tcp" && !f[11].empty()) {
      const unsigned long flags = std::stoul(f[11], nullptr, 16);
      if (flags & 0x01) side.fin = true;
      if (flags & 0x04) c.reset = true;
    }
  }
  pclose(pipe);
  return conversations;
}

// "ADDR PORT" of an address text with port ("1.2.3.4:80", "[::1]:80").
std::string Endpoint(const std::string& text) {
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    return text.substr(1, close - 1) + " " + text.substr(close + 2);
  }
  const size_t colon = text.rfind(':');
  return text.substr(0, colon) + " " + text.substr(colon + 1);
}

std::string Describe(const Conversation& c) {
  std::string out = "first " + std::to_string(c.first_ms) + " last " + std::to_string(c.last_ms) +
                    (c.Closed() ? " closed" : " open");
  for (const auto& [endpoint, side] : c.sides) {
    out += "; " + endpoint + " sent " + std::to_string(side.packets) + " frames " +
           std::to_string(side.bytes) + " bytes";
  }
  return out;
}

TEST(TsharkSamplesTest, ConversationsMatchTsharkPerDirection) {
  if (system("tshark -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  int compared = 0;
  for (const char* sample : kSamples) {
    if (access(sample, R_OK) != 0) {
      std::printf("skipping %s: not installed\n", sample);
      continue;
    }
    SCOPED_TRACE(sample);
    const std::map<std::string, Conversation> expected = TsharkConversations(sample);
    ASSERT_FALSE(expected.empty()) << "tshark read no conversation";

    capture::InterfaceSpec spec;
    spec.file = sample;
    auto played = Play({spec});
    EXPECT_EQ(played->error, "");
    std::map<std::string, Conversation> flows;
    for (const Delivered* created : played->recorder.Of(Delivered::kNew)) {
      const FlowIdentity& id = created->identity;
      if (id.ip_protocol != 6 && id.ip_protocol != 17) continue;
      const Delivered* purge = played->recorder.PurgeOf(created->flow);
      ASSERT_NE(purge, nullptr);
      const std::string lower = Endpoint(id.lower), upper = Endpoint(id.upper);
      const std::string key = Key(lower, upper, id.ip_protocol == 6 ? "tcp" : "udp");
      EXPECT_EQ(flows.count(key), 0u) << "two flows for " << key;
      Conversation& c = flows[key];
      const kvFlowStats& s = purge->snapshot.stats;
      c.sides[lower].packets = s.lower_total_packets;
      c.sides[lower].bytes = s.lower_total_bytes;
      c.sides[upper].packets += s.upper_total_packets;
      c.sides[upper].bytes += s.upper_total_bytes;
      c.first_ms = purge->snapshot.first_seen;
      c.last_ms = purge->snapshot.last_seen;
      c.reset = purge->snapshot.tcp_closed != 0;  // Closed() reads it as the flow's flag
    }
    ASSERT_EQ(flows.size(), expected.size());
    for (const auto& [key, conversation] : expected) {
      ASSERT_EQ(flows.count(key), 1u) << "no flow for " << key;
      EXPECT_EQ(Describe(flows.at(key)), Describe(conversation)) << key;
    }
    compared++;
  }
  if (compared == 0) GTEST_SKIP() << "none of Debian's sample captures is installed";
}

}  // namespace
}  // namespace capture_test
