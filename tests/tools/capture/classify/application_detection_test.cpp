// Applications, categories and updated detections of real flows from nDPI's test captures,
// against what nDPI's own reader (ndpiReader -v 2, the same libndpi) says of the same flows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "tests/tools/capture/play.h"

namespace {

using namespace capture_test;

const std::string kCaptures = std::string(KORVEL_SOURCE_DIR) + "/../shared/captures/ndpi/";

// The flow's ends ("address:port"), ndpiReader's "master.app" and "cat" for it, and what the
// flow gets: categories application, protocol, domain and the server's network.
struct Case {
  const char *capture, *client, *server, *reader, *protocol_name;
  uint32_t application;
  const char* application_name;
  bool updated;
  uint32_t category_application, category_protocol, category_domain, server_network;
};

const Case kCases[] = {
    {"tls_cipher_lens.pcap", "192.168.11.11:51587", "173.194.35.191:443", "TLS.Google Web/5",
     "HTTP/S", 10028, "korvel.google", false, 5, 5, 0, 5},
    {"dns.pcap", "82.178.113.245:47255", "82.178.158.181:53", "DNS.WhatsApp Chat/9", "DNS", 142,
     "korvel.whatsapp", false, 9, 14, 0, 0},
    {"stun_wa_call.pcapng", "192.168.12.156:46652", "157.240.203.62:3478",
     "STUN.WhatsAppCall VoIP/10", "STUN", 246, "korvel.whatsapp", false, 10, 14, 0, 6},
    {"lol_wild_rift_udp.pcap", "10.215.173.1:44513", "13.53.58.18:18001", "AmazonAWS Cloud/13",
     "Unknown", 10089, "korvel.aws", false, 13, 13, 0, 13},
    // The host name is listed as a connectivity check (30), the flow's category too.
    {"android.pcap", "192.168.2.16:58338", "17.253.53.201:80", "HTTP.Apple ConnCheck/30", "HTTP",
     10034, "korvel.apple", false, 30, 5, 30, 5},
    // The certificate names the application after TLS was reported; nDPI keeps TLS's category.
    {"tls-rdn-extract.pcap", "10.0.0.1:31337", "213.199.149.251:443", "TLS.Microsoft Web/5",
     "HTTP/S", 10061, "korvel.microsoft", true, 5, 5, 0, 0},
    {"selfsigned.pcap", "127.0.0.1:51607", "127.0.0.1:3001", "TLS.ntop Network/14", "TLS", 10002,
     "korvel.ntop", true, 14, 5, 0, 0},
    // TLS.Google, then TLS.DoH_DoT: the second is a protocol, given by its vocabulary name.
    {"dns_dot.pcap", "192.168.1.185:58290", "8.8.8.8:853", "TLS.DoH_DoT Network/14", "DoT", 243,
     "DoH", true, 14, 5, 0, 5},
};

TEST(ApplicationDetectionTest, RealFlowsCarryNdpisApplicationAndCategories) {
  if (access(kCaptures.c_str(), R_OK) != 0) GTEST_SKIP() << kCaptures << " is absent";
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.capture) + " " + c.client + " " + c.reader);
    capture::InterfaceSpec spec;
    spec.file = kCaptures + c.capture;
    auto played = Play({spec});
    std::string flow;
    bool server_lower = false;
    for (const Delivered* d : played->recorder.Of(Delivered::kNew)) {
      const std::set<std::string> ends = {d->identity.lower, d->identity.upper};
      if (ends == std::set<std::string>{c.client, c.server}) {
        flow = d->flow;
        server_lower = d->identity.lower == c.server;
      }
    }
    ASSERT_NE(flow, "") << "no such flow";
    const DpiSnapshot* done = nullptr;
    int updated_events = 0;
    for (const Delivered& d : played->recorder.delivered) {
      if (d.flow == flow && d.kind == Delivered::kDpiComplete) done = &d.dpi;
      updated_events += d.flow == flow && d.kind == Delivered::kDpiUpdate && d.dpi.updated;
    }
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->protocol_name, c.protocol_name);
    EXPECT_EQ(std::to_string(done->application) + " " + done->application_name,
              std::to_string(c.application) + " " + c.application_name);
    EXPECT_EQ(done->updated, c.updated);
    EXPECT_EQ(updated_events, 0) << "the change comes with the packet that ends detection";
    const kvFlow::Category& cat = done->category;
    const uint32_t server_net = server_lower ? cat.lower_network : cat.upper_network;
    const uint32_t client_net = server_lower ? cat.upper_network : cat.lower_network;
    EXPECT_EQ((std::vector<uint32_t>{cat.application, cat.protocol, cat.domain, server_net,
                                     client_net, cat.overlay}),
              (std::vector<uint32_t>{c.category_application, c.category_protocol,
                                     c.category_domain, c.server_network, 0, 0}));
  }
}

}  // namespace
