// nDPI's state of a flow goes as soon as detection ends, after the record has its details.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/capture/play.h"
#include "tools/capture/classify/flow_classifier.h"
#include "tools/capture/decode/packet_decoder.h"

namespace {

using namespace capture_test;

// Feeds raw IP packets (client first, then alternating) and, after each step the tracker would
// publish and after the purge's give-up when `give_up`, writes the flow and notes whether nDPI's
// state is still held.
std::string Steps(const std::vector<Bytes>& packets, bool give_up, kvFlow& flow) {
  capture::FlowClassifier classifier;
  capture::PacketDecoder decoder(12);
  capture::DpiState state;
  kvPacketStats stats;
  std::string out;
  auto note = [&](const char* step) {
    classifier.Write(state, 53, flow);
    out += (out.empty() ? "" : ", ") + std::string(step) + (state.ndpi ? " held" : " freed");
  };
  for (size_t i = 0; i < packets.size(); i++) {
    capture::DecodedPacket packet;
    const auto size = static_cast<uint32_t>(packets[i].size());
    EXPECT_EQ(decoder.Decode(packets[i].data(), size, size, packet, stats),
              capture::DecodeResult::kFlow);
    const capture::DpiStep step = classifier.Feed(state, packet, i % 2 == 0, kT0 + i * 1000);
    if (step != capture::DpiStep::kNone) note(step == capture::DpiStep::kUpdated ? "dpi" : "done");
  }
  if (give_up) classifier.GiveUp(state), note("given up");
  return out + (state.ndpi ? "; still held" : "");
}

TEST(DpiStateRelease, NdpisStateGoesWhenDetectionEndsAndTheDetailsStay) {
  const Bytes query = Cat({Bytes{0xab, 0xcd, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0},
                           Bytes{4, 'h', 'o', 's', 't', 4, 't', 'e', 's', 't', 0, 0, 1, 0, 1}});
  Bytes answer = query;
  answer[2] = 0x81, answer[3] = 0x80, answer[7] = 1;
  answer = Cat({answer, Bytes{0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 203, 0, 113, 7}});
  const Bytes unknown = Ipv4("192.168.1.10", "198.51.100.1", 17, Udp(41000, 41001, Bytes(20, 7)));
  kvFlow dns, limit, purged;
  EXPECT_EQ(Steps({Ipv4("192.168.1.10", "192.168.1.1", 17, Udp(40000, 53, query)),
                   Ipv4("192.168.1.1", "192.168.1.10", 17, Udp(53, 40000, answer))},
                  false, dns),
            "dpi held, done freed");
  EXPECT_EQ(dns.host_server_name + " " + dns.detected_protocol_name, "host.test DNS");
  EXPECT_EQ(dns.digest_history.size(), 2u);
  EXPECT_EQ(Steps(std::vector<Bytes>(24, unknown), false, limit), "done freed");
  EXPECT_EQ(limit.stats.detection_packets, 24u);
  EXPECT_EQ(Steps({unknown, unknown}, true, purged), "given up freed");
  EXPECT_EQ(Steps({unknown}, false, purged), "; still held");
}

}  // namespace
