// Applications, categories and updated detections of real flows from nDPI's test captures,
// against what nDPI's own reader (ndpiReader -v 2, the same libndpi) says of the same flows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>

#include "tests/tools/capture/play.h"

namespace {

using namespace capture_test;

const std::string kCaptures = std::string(KORVEL_SOURCE_DIR) + "/../shared/captures/ndpi/";

struct Case {
  const char* capture;
  const char* client;  // the flow's two ends, "address:port"
  const char* server;
  const char* reader;  // ndpiReader's "master.app" and "[cat: ...]" for the flow
  const char* protocol_name;
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
    // The host name is listed as a connectivity check (30): the domain's category, and so the
    // flow's.
    {"android.pcap", "192.168.2.16:58338", "17.253.53.201:80", "HTTP.Apple ConnCheck/30", "HTTP",
     10034, "korvel.apple", false, 30, 5, 30, 5},
    // The certificate names the application after TLS was reported: an updated detection. nDPI
    // keeps the category it gave TLS.
    {"tls-rdn-extract.pcap", "10.0.0.1:31337", "213.199.149.251:443", "TLS.Microsoft Web/5",
     "HTTP/S", 10061, "korvel.microsoft", true, 5, 5, 0, 0},
    {"selfsigned.pcap", "127.0.0.1:51607", "127.0.0.1:3001", "TLS.ntop Network/14", "TLS", 10002,
     "korvel.ntop", true, 14, 5, 0, 0},
    // TLS.Google, then TLS.DoH_DoT: the second is a protocol, given by its vocabulary name.
    {"dns_dot.pcap", "192.168.1.185:58290", "8.8.8.8:853", "TLS.DoH_DoT Network/14", "DoT", 243,
     "DoH", true, 14, 5, 0, 5},
};

TEST(ApplicationDetectionTest, RealFlowsCarryNdpisApplicationAndCategories) {
  if (access(kCaptures.c_str(), R_OK) != 0) {
    GTEST_SKIP() << kCaptures << " is absent: nDPI's test captures are not beside the tree";
  }
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
    for (const Delivered* d : played->recorder.Of(Delivered::kDpiComplete)) {
      if (d->flow == flow) done = &d->dpi;
    }
    for (const Delivered* d : played->recorder.Of(Delivered::kDpiUpdate)) {
      updated_events += d->flow == flow && d->dpi.updated;
    }
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->protocol_name, c.protocol_name);
    EXPECT_EQ(done->application, c.application);
    EXPECT_EQ(done->application_name, c.application_name);
    EXPECT_EQ(done->updated, c.updated);
    // Here the change comes with the packet that ends detection: event 8 carries it.
    EXPECT_EQ(updated_events, 0);
    EXPECT_EQ(done->category.application, c.category_application);
    EXPECT_EQ(done->category.protocol, c.category_protocol);
    EXPECT_EQ(done->category.domain, c.category_domain);
    EXPECT_EQ(server_lower ? done->category.lower_network : done->category.upper_network,
              c.server_network);
    EXPECT_EQ(server_lower ? done->category.upper_network : done->category.lower_network, 0u)
        << "the client's address is in no network nDPI lists";
    EXPECT_EQ(done->category.overlay, 0u);
  }
}

}  // namespace
