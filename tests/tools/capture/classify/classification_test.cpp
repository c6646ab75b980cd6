// Classification of captured flows with nDPI: Debian's sample captures, with the values tshark
// decodes from the same packets, and built packets for the event order, the packet limit, SSH
// banners, DNS answer names and texts from the network.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/tools/capture/play.h"

namespace {

using namespace capture_test;
using capture::InterfaceSpec;

constexpr uint8_t kSyn = 0x02, kAck = 0x10, kPsh = 0x08;
const char kHttpSample[] = "/usr/share/doc/python3-dpkt/examples/data/http.pcap";
const char kTlsSample[] =
    "/usr/share/gocode/src/github.com/gopacket/gopacket/pcapgo/tests/le/test301.pcapng";

bool Exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

Bytes TcpWith(uint16_t sport, uint16_t dport, uint32_t seq, uint8_t flags,
              const std::string& data) {
  Bytes tcp = Tcp(sport, dport, seq, flags, data.size());
  std::memcpy(tcp.data() + 20, data.data(), data.size());
  return tcp;
}

// The event-8 snapshot of every flow, in event order, with the flow's name.
std::vector<std::pair<std::string, DpiSnapshot>> Completed(const Recorder& recorder) {
  std::vector<std::pair<std::string, DpiSnapshot>> out;
  for (const Delivered* d : recorder.Of(Delivered::kDpiComplete)) out.emplace_back(d->flow, d->dpi);
  return out;
}

// The kinds of one flow's events, in order: "new", "dpi", "done", "purge".
std::string KindsOf(const Recorder& recorder, const std::string& flow) {
  std::string out;
  for (const Delivered& d : recorder.delivered) {
    if (d.flow != flow) continue;
    const char* word = d.kind == Delivered::kNew           ? "new"
                       : d.kind == Delivered::kDpiUpdate   ? "dpi"
                       : d.kind == Delivered::kDpiComplete ? "done"
                       : d.kind == Delivered::kPurge       ? "purge"
                                                           : nullptr;
    if (!word) continue;
    out += (out.empty() ? "" : " ") + std::string(word);
  }
  return out;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// A DNS query for host.test, and its answer: 203.0.113.7.
Bytes DnsQuery() {
  return Cat({Bytes{0xab, 0xcd, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0},
              Bytes{4, 'h', 'o', 's', 't', 4, 't', 'e', 's', 't', 0, 0, 1, 0, 1}});
}
Bytes DnsAnswerOf(Bytes query) {
  query[2] = 0x81;
  query[3] = 0x80;
  query[7] = 1;
  return Cat({query, Bytes{0xc0, 0x0c, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 203, 0, 113, 7}});
}

TEST(ClassificationTest, Tls12SampleGivesTsharksNamesCipherAndCertificate) {
  if (!Exists(kTlsSample)) GTEST_SKIP() << "golang-github-gopacket-gopacket-dev is not installed";
  InterfaceSpec spec;
  spec.file = kTlsSample;
  auto played = Play({spec});
  const auto done = Completed(played->recorder);
  ASSERT_EQ(done.size(), 1u);
  const DpiSnapshot& tls = done[0].second;
  // tshark -r test301.pcapng -Y tls.handshake: SNI www.baidu.com, client ALPN h2,http/1.1, the
  // server's cipher suite 0xc02f, certificate subject CN baidu.com issued by GlobalSign RSA OV SSL
  // CA 2018; sha1sum of the first certificate's bytes.
  EXPECT_EQ(tls.master, 91u);
  EXPECT_EQ(tls.protocol, 196u);  // TLS on server port 443
  EXPECT_EQ(tls.protocol_name, "HTTP/S");
  EXPECT_EQ(tls.host_server_name, "www.baidu.com");
  EXPECT_EQ(tls.tls.version, 0x0303);
  EXPECT_EQ(tls.tls.cipher_suite, 0xc02f);
  EXPECT_EQ(tls.tls.alpn, (std::vector<std::string>{"h2", "http/1.1"}));
  EXPECT_TRUE(tls.tls.alpn_server.empty());  // nDPI 4.2 keeps only the client's list
  EXPECT_EQ(tls.tls.server_cn, "baidu.com");
  EXPECT_EQ(tls.tls.issuer_dn, "C=BE, O=GlobalSign nv-sa, CN=GlobalSign RSA OV SSL CA 2018");
  EXPECT_EQ(tls.tls.subject_dn,
            "C=CN, ST=beijing, L=beijing, OU=service operation department, O=Beijing Baidu Netcom "
            "Science Technology Co., Ltd, CN=baidu.com");
  EXPECT_EQ(Hex(tls.tls.cert_fingerprint), "486aedd16852e5974fa09246b33c56463dd99cd5");
  EXPECT_FALSE(tls.guessed);
  EXPECT_GT(tls.packets, 0u);
  EXPECT_LE(tls.packets, 80u);
  // Detection completed: the history holds the first digest and the one that covers the result.
  ASSERT_EQ(tls.digest_history.size(), 2u);
  EXPECT_EQ(tls.digest_history[1], tls.digest);
  EXPECT_NE(tls.digest_history[0], tls.digest);
  EXPECT_EQ(KindsOf(played->recorder, "f1"), "new dpi done purge");
}

TEST(ClassificationTest, HttpSampleGivesTsharksHostsUserAgentUrlsAndTheDnsName) {
  if (!Exists(kHttpSample)) GTEST_SKIP() << "python3-dpkt is not installed";
  InterfaceSpec spec;
  spec.file = kHttpSample;
  auto played = Play({spec});
  const auto done = Completed(played->recorder);
  ASSERT_EQ(done.size(), 3u);
  // tshark -r http.pcap -Y 'http.request or dns' -T fields -e http.user_agent -e
  // http.request.uri -e http.host -e dns.qry.name -e dns.a
  const std::string agent =
      "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.6) Gecko/20040113";
  const DpiSnapshot& page = done[0].second;
  EXPECT_EQ(page.protocol_name, "HTTP");
  EXPECT_EQ(page.host_server_name, "www.ethereal.com");
  EXPECT_EQ(page.user_agent, agent);
  EXPECT_EQ(page.http_url, "www.ethereal.com/download.html");  // nDPI: host, then the path
  EXPECT_EQ(page.dns_host_name, "");

  const DpiSnapshot& dns = done[1].second;
  EXPECT_EQ(dns.protocol_name, "DNS");
  EXPECT_EQ(dns.host_server_name, "pagead2.googlesyndication.com");
  EXPECT_EQ(dns.packets, 2u);  // the query and its answer

  // The ad request goes to 216.239.59.99, one of the two addresses the DNS answer gave.
  const DpiSnapshot& ads = done[2].second;
  EXPECT_EQ(ads.protocol_name, "HTTP");
  EXPECT_EQ(ads.dns_host_name, "pagead2.googlesyndication.com");
  EXPECT_EQ(ads.host_server_name, "pagead2.googlesyndication.com");
  EXPECT_EQ(ads.user_agent, agent);
  EXPECT_EQ(ads.http_url.rfind("pagead2.googlesyndication.com/pagead/ads?client=ca-pub-", 0), 0u);
  for (const auto& [flow, snapshot] : done) {
    EXPECT_EQ(KindsOf(played->recorder, flow).substr(0, 4), "new ") << flow;
  }
}

TEST(ClassificationTest, DnsAnswerNamesALaterFlowAndEventsFollowDetection) {
  // A query and its answer on port 53, then a TCP flow to the answered address.
  const Bytes query = DnsQuery(), answer = DnsAnswerOf(query);
  OneFile file({
      Frame{kT0, EthFrame(1, 2, Ipv4("192.168.1.10", "192.168.1.1", 17, Udp(40000, 53, query)))},
      Frame{kT0 + 1000,
            EthFrame(2, 1, Ipv4("192.168.1.1", "192.168.1.10", 17, Udp(53, 40000, answer)))},
      Frame{kT0 + 2000,
            EthFrame(1, 2, Ipv4("192.168.1.10", "203.0.113.7", 6, Tcp(50000, 8080, 1, kSyn)))},
  });
  auto played = Play({file.Spec({"192.168.1.10"})});
  const Recorder& r = played->recorder;
  // The query makes it DNS (event 7 right after 6); the answer ends detection (8).
  EXPECT_EQ(KindsOf(r, "f1"), "new dpi done purge");
  EXPECT_EQ(KindsOf(r, "f2"), "new done purge");  // given up just before the purge
  const auto news = r.Of(Delivered::kNew);
  ASSERT_EQ(news.size(), 2u);
  EXPECT_EQ(news[1]->dpi.dns_host_name, "host.test");
  const auto done = Completed(r);
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].second.protocol_name, "DNS");
  EXPECT_EQ(done[0].second.host_server_name, "host.test");
  EXPECT_EQ(done[1].second.packets, 1u);
}

TEST(ClassificationTest, UdpFlowsAreGivenUpAtTheirPacketLimit) {
  std::vector<Frame> frames;
  for (int i = 0; i < 30; i++) {
    frames.push_back(Frame{kT0 + static_cast<uint64_t>(i) * 1000,
                           EthFrame(1, 2,
                                    Ipv4("192.168.1.10", "198.51.100.1", 17,
                                         Udp(41000, 41001, Bytes(20, static_cast<uint8_t>(i)))))});
  }
  OneFile file(frames);
  auto played = Play({file.Spec()});
  const auto done = played->recorder.Of(Delivered::kDpiComplete);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0]->dpi.packets, 24u);
  EXPECT_EQ(done[0]->snapshot.stats.total_packets, 24u) << "event 8 at the 24th packet";
  const Delivered* purge = played->recorder.PurgeOf("f1");
  ASSERT_NE(purge, nullptr);
  EXPECT_EQ(purge->snapshot.stats.detection_packets, 24u);
  EXPECT_EQ(purge->snapshot.stats.total_packets, 30u);
}

TEST(ClassificationTest, SshAgentsArePutRightWhenTheServerSpeaksFirst) {
  const char* client = "192.168.1.10";
  const char* server = "198.51.100.22";
  auto out = [&](uint64_t ms, uint32_t seq, uint8_t flags, const std::string& data) {
    return Frame{kT0 + ms * 1000,
                 EthFrame(1, 2, Ipv4(client, server, 6, TcpWith(50022, 22, seq, flags, data)))};
  };
  auto in = [&](uint64_t ms, uint32_t seq, uint8_t flags, const std::string& data) {
    return Frame{kT0 + ms * 1000,
                 EthFrame(2, 1, Ipv4(server, client, 6, TcpWith(22, 50022, seq, flags, data)))};
  };
  const std::string server_banner = "SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n";
  const std::string client_banner = "SSH-2.0-PuTTY_Release_0.78\r\n";
  OneFile file({out(0, 100, kSyn, ""), in(1, 900, kSyn | kAck, ""), out(2, 101, kAck, ""),
                in(3, 901, kAck | kPsh, server_banner), out(4, 101, kAck | kPsh, client_banner),
                in(5, 901 + static_cast<uint32_t>(server_banner.size()), kAck, "")});
  auto played = Play({file.Spec({client})});
  const auto done = Completed(played->recorder);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].second.protocol_name, "SSH");
  EXPECT_EQ(done[0].second.ssh_client, "SSH-2.0-PuTTY_Release_0.78");
  EXPECT_EQ(done[0].second.ssh_server, "SSH-2.0-OpenSSH_9.2p1 Debian-2");
}

TEST(ClassificationTest, NetworkTextsPassAsTheyAreAndAreCutAtTheirCap) {
  const std::string agent = "curl/\xff\xfe bad";  // not UTF-8
  const std::string path = "/" + std::string(2000, 'a');
  const std::string request =
      "GET " + path + " HTTP/1.1\r\nHost: www.example.test\r\nUser-Agent: " + agent + "\r\n\r\n";
  OneFile file({
      Frame{kT0, EthFrame(1, 2, Ipv4("192.168.1.10", "198.51.100.80", 6, Tcp(50080, 80, 1, kSyn)))},
      Frame{
          kT0 + 1000,
          EthFrame(2, 1, Ipv4("198.51.100.80", "192.168.1.10", 6, Tcp(80, 50080, 7, kSyn | kAck)))},
      Frame{kT0 + 2000, EthFrame(1, 2,
                                 Ipv4("192.168.1.10", "198.51.100.80", 6,
                                      TcpWith(50080, 80, 2, kAck | kPsh, request)))},
  });
  auto played = Play({file.Spec({"192.168.1.10"})});
  const auto done = Completed(played->recorder);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].second.protocol_name, "HTTP");
  EXPECT_EQ(done[0].second.user_agent, agent);
  EXPECT_EQ(done[0].second.host_server_name, "www.example.test");
  // 512 bytes of "www.example.test" followed by the path.
  ASSERT_EQ(done[0].second.http_url.size(), 512u);
  EXPECT_EQ(done[0].second.http_url.substr(0, 18), "www.example.test/a");
}

// The name a TCP flow to host.test's address gets after a query from `client_port` to
// `server_port` and its answer; `protocol` is nDPI's name for the exchange.
std::string NameAfterAnswer(uint16_t client_port, uint16_t server_port, const char* protocol) {
  const Bytes query = DnsQuery(), answer = DnsAnswerOf(query);
  const char *client = "192.168.1.10", *server = "192.168.1.1";
  OneFile file({
      Frame{kT0, EthFrame(1, 2, Ipv4(client, server, 17, Udp(client_port, server_port, query)))},
      Frame{kT0 + 1000,
            EthFrame(2, 1, Ipv4(server, client, 17, Udp(server_port, client_port, answer)))},
      Frame{kT0 + 2000, EthFrame(1, 2, Ipv4(client, "203.0.113.7", 6, Tcp(50000, 8080, 1, kSyn)))},
  });
  auto played = Play({file.Spec({client})});
  const auto done = Completed(played->recorder);
  const auto news = played->recorder.Of(Delivered::kNew);
  if (done.size() != 2 || news.size() != 2) return "flows: " + std::to_string(news.size());
  EXPECT_EQ(done[0].second.protocol_name, protocol);
  return news[1]->dpi.dns_host_name;
}

TEST(ClassificationTest, AnswersAreLearntWhereNdpiSaysDnsWhateverThePort) {
  struct Case {
    uint16_t client_port, server_port;
    const char* protocol;  // nDPI's classification of the exchange
    const char* name;      // the later flow's dns_host_name
  };
  const Case cases[] = {
      {40000, 53, "DNS", "host.test"},
      // nDPI 4.2 takes a query from port 53 for DNS: its answer comes from port 5300.
      {53, 5300, "DNS", "host.test"},
      {53, 40053, "DNS", "host.test"},
      // The same messages between two other ports are nothing nDPI knows: not learnt.
      {40000, 5300, "Unknown", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.client_port) + " to " + std::to_string(c.server_port));
    EXPECT_EQ(NameAfterAnswer(c.client_port, c.server_port, c.protocol), c.name);
  }
}

}  // namespace
