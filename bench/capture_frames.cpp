// Writes the generated capture: Ethernet frames of TLS, DNS and HTTP flows with real payloads,
// TCP sequence numbers that follow each direction's bytes, interleaved across all flows.
#include "bench/capture_frames.h"

#include <pcap/pcap.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace korvel_bench {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kTlsPort = 443;
constexpr uint16_t kDnsPort = 53;
constexpr uint16_t kHttpPort = 80;
constexpr uint32_t kServers = 200;
constexpr uint32_t kClientIsn = 1000;
constexpr uint32_t kServerIsn = 700000;
constexpr uint8_t kSyn = 0x02, kSynAck = 0x12, kAck = 0x10, kPushAck = 0x18;
constexpr uint8_t kTcpHeader = 20, kUdpHeader = 8, kIpHeader = 20;
constexpr uint8_t kIpProtoTcp = 6, kIpProtoUdp = 17;
const char kBenchDomain[] = ".bench.korvel.test";
const char kUserAgent[] = "korvel-bench/1.0 (generated)";

void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
void Put24(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 16));
  Put16(b, v);
}
void Append(Bytes& b, const Bytes& more) {
  b.insert(b.end(), more.begin(), more.end());
}
void Append(Bytes& b, const std::string& text) {
  b.insert(b.end(), text.begin(), text.end());
}

// One DER element: tag, length, contents.
Bytes Der(uint8_t tag, const Bytes& contents) {
  Bytes out{tag};
  const size_t n = contents.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else if (n < 0x100) {
    out.push_back(0x81), out.push_back(static_cast<uint8_t>(n));
  } else {
    out.push_back(0x82), Put16(out, static_cast<uint32_t>(n));
  }
  Append(out, contents);
  return out;
}
Bytes Der(uint8_t tag, const std::string& text) {
  return Der(tag, Bytes(text.begin(), text.end()));
}
Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) Append(out, part);
  return out;
}

constexpr uint8_t kSequence = 0x30, kSet = 0x31, kOid = 0x06, kUtf8 = 0x0c, kPrintable = 0x13;
constexpr uint8_t kUtcTime = 0x17, kInteger = 0x02, kBitString = 0x03, kOctetString = 0x04;
constexpr uint8_t kNull = 0x05, kContext0 = 0xa0, kContext3 = 0xa3, kDnsName = 0x82;

Bytes Attribute(uint8_t oid_last, uint8_t string_tag, const std::string& value) {
  return Der(kSet, Der(kSequence,
                       Concat({Der(kOid, Bytes{0x55, 0x04, oid_last}), Der(string_tag, value)})));
}

Bytes Name(const std::string& organization, const std::string& common_name) {
  return Der(kSequence,
             Concat({Attribute(0x06, kPrintable, "DE"), Attribute(0x0a, kUtf8, organization),
                     Attribute(0x03, kUtf8, common_name)}));
}

// A certificate of the shape a server sends: issuer, validity, subject, an RSA key, the
// subject's alternative names; the key and signature bits are filler.
Bytes Certificate() {
  const Bytes rsa_sha256 =
      Der(kSequence, Concat({Der(kOid, Bytes{0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x0b}),
                             Der(kNull, Bytes{})}));
  const Bytes rsa =
      Der(kSequence, Concat({Der(kOid, Bytes{0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01}),
                             Der(kNull, Bytes{})}));
  Bytes key_bits(1, 0);
  for (int i = 0; i < 270; i++) key_bits.push_back(static_cast<uint8_t>(i * 37 + 11));
  Bytes signature(1, 0);
  for (int i = 0; i < 256; i++) signature.push_back(static_cast<uint8_t>(i * 53 + 7));
  const Bytes san = Der(kSequence, Concat({Der(kDnsName, "www" + std::string(kBenchDomain)),
                                           Der(kDnsName, "api" + std::string(kBenchDomain))}));
  const Bytes extensions =
      Der(kContext3, Der(kSequence, Der(kSequence, Concat({Der(kOid, Bytes{0x55, 0x1d, 0x11}),
                                                           Der(kOctetString, san)}))));
  const Bytes tbs = Der(
      kSequence,
      Concat(
          {Der(kContext0, Der(kInteger, Bytes{0x02})), Der(kInteger, Bytes{0x1f, 0x42, 0x7a}),
           rsa_sha256, Name("Korvel Bench CA", "Korvel Bench Root"),
           Der(kSequence, Concat({Der(kUtcTime, "250101000000Z"), Der(kUtcTime, "351231235959Z")})),
           Name("Korvel Bench", "www" + std::string(kBenchDomain)),
           Der(kSequence, Concat({rsa, Der(kBitString, key_bits)})), extensions}));
  return Der(kSequence, Concat({tbs, rsa_sha256, Der(kBitString, signature)}));
}

// One TLS record around a handshake message of `type`.
Bytes HandshakeRecord(uint8_t type, const Bytes& body, uint16_t record_version) {
  Bytes message{type};
  Put24(message, static_cast<uint32_t>(body.size()));
  Append(message, body);
  Bytes record{0x16};
  Put16(record, record_version);
  Put16(record, static_cast<uint32_t>(message.size()));
  Append(record, message);
  return record;
}

Bytes Random(uint32_t flow, uint8_t salt) {
  Bytes out;
  for (uint8_t i = 0; i < 32; i++) out.push_back(static_cast<uint8_t>(flow * 131 + i * salt));
  return out;
}

Bytes Extension(uint16_t type, const Bytes& data) {
  Bytes out;
  Put16(out, type);
  Put16(out, static_cast<uint32_t>(data.size()));
  Append(out, data);
  return out;
}

std::string HostName(uint32_t flow) {
  return "h" + std::to_string(flow) + kBenchDomain;
}

Bytes ClientHello(uint32_t flow) {
  Bytes body;
  Put16(body, 0x0303);
  Append(body, Random(flow, 7));
  body.push_back(0);  // no session id
  const uint16_t suites[] = {0xc02f, 0xc030, 0xc02b, 0xc02c, 0x009e, 0x009f, 0x003c, 0x002f};
  Put16(body, sizeof(suites));
  for (uint16_t suite : suites) Put16(body, suite);
  body.push_back(1), body.push_back(0);  // null compression
  const std::string host = HostName(flow);
  Bytes sni;
  Put16(sni, static_cast<uint32_t>(host.size() + 3));
  sni.push_back(0);
  Put16(sni, static_cast<uint32_t>(host.size()));
  Append(sni, host);
  Bytes alpn;
  const std::string protocols[] = {"h2", "http/1.1"};
  Bytes list;
  for (const std::string& p : protocols)
    list.push_back(static_cast<uint8_t>(p.size())), Append(list, p);
  Put16(alpn, static_cast<uint32_t>(list.size()));
  Append(alpn, list);
  const Bytes groups{0x00, 0x04, 0x00, 0x1d, 0x00, 0x17};
  const Bytes point_formats{0x01, 0x00};
  const Bytes signatures{0x00, 0x06, 0x04, 0x01, 0x05, 0x01, 0x08, 0x04};
  const Bytes extensions =
      Concat({Extension(0x0000, sni), Extension(0x000a, groups), Extension(0x000b, point_formats),
              Extension(0x000d, signatures), Extension(0x0010, alpn)});
  Put16(body, static_cast<uint32_t>(extensions.size()));
  Append(body, extensions);
  return HandshakeRecord(0x01, body, 0x0301);
}

// Server hello, certificate and server hello done in one segment, as servers send them.
Bytes ServerFlight(uint32_t flow) {
  static const Bytes certificate = Certificate();
  Bytes hello;
  Put16(hello, 0x0303);
  Append(hello, Random(flow, 13));
  hello.push_back(0);
  Put16(hello, 0xc02f);
  hello.push_back(0);
  Bytes renegotiation = Extension(0xff01, Bytes{0x00});
  Put16(hello, static_cast<uint32_t>(renegotiation.size()));
  Append(hello, renegotiation);
  Bytes chain;
  Put24(chain, static_cast<uint32_t>(certificate.size() + 3));
  Put24(chain, static_cast<uint32_t>(certificate.size()));
  Append(chain, certificate);
  return Concat({HandshakeRecord(0x02, hello, 0x0303), HandshakeRecord(0x0b, chain, 0x0303),
                 HandshakeRecord(0x0e, Bytes{}, 0x0303)});
}

Bytes ApplicationData(size_t length, uint32_t flow) {
  Bytes record{0x17};
  Put16(record, 0x0303);
  Put16(record, static_cast<uint32_t>(length));
  for (size_t i = 0; i < length; i++) record.push_back(static_cast<uint8_t>(flow + i * 29));
  return record;
}

Bytes DnsMessage(uint32_t flow, uint32_t packet, bool answer, const uint8_t server[4]) {
  Bytes out;
  Put16(out, (flow * 7 + packet / 2) & 0xffff);
  Put16(out, answer ? 0x8180 : 0x0100);
  Put16(out, 1), Put16(out, answer ? 1 : 0), Put16(out, 0), Put16(out, 0);
  const std::string host = HostName(flow);
  size_t start = 0;
  while (start < host.size()) {
    const size_t dot = host.find('.', start);
    const size_t end = dot == std::string::npos ? host.size() : dot;
    out.push_back(static_cast<uint8_t>(end - start));
    out.insert(out.end(), host.begin() + static_cast<long>(start),
               host.begin() + static_cast<long>(end));
    start = end + 1;
  }
  out.push_back(0);
  Put16(out, 1), Put16(out, 1);  // A, IN
  if (answer) {
    Put16(out, 0xc00c), Put16(out, 1), Put16(out, 1);
    Put16(out, 0), Put16(out, 300);
    Put16(out, 4);
    out.insert(out.end(), server, server + 4);
  }
  return out;
}

struct Segment {
  bool reply = false;
  uint8_t flags = 0;  // TCP flags; 0 for UDP
  Bytes payload;
};

Segment MakeSegment(uint32_t flow, uint32_t packet, const uint8_t server[4]) {
  Segment s;
  s.reply = packet % 2 == 1;
  const CaptureFlowKind kind = KindOfFlow(flow);
  if (kind == CaptureFlowKind::kDns) {
    s.payload = DnsMessage(flow, packet, s.reply, server);
    return s;
  }
  if (packet < 2) {
    s.flags = packet == 0 ? kSyn : kSynAck;
    return s;
  }
  s.flags = kPushAck;
  if (kind == CaptureFlowKind::kTls) {
    if (packet == 2) {
      s.payload = ClientHello(flow);
    } else if (packet == 3) {
      s.payload = ServerFlight(flow);
    } else {
      s.payload = ApplicationData(s.reply ? 600 + flow % 400 : 80 + flow % 60, flow);
    }
    return s;
  }
  if (packet == 2) {
    const std::string request = "GET /item/" + std::to_string(flow) +
                                "?q=bench HTTP/1.1\r\nHost: " + HostName(flow) +
                                "\r\nUser-Agent: " + kUserAgent + "\r\nAccept: */*\r\n\r\n";
    Append(s.payload, request);
  } else if (packet == 3) {
    const size_t body = 2000;
    const std::string header =
        "HTTP/1.1 200 OK\r\nServer: korvel-bench\r\nContent-Type: "
        "text/html\r\nContent-Length: " +
        std::to_string(body) + "\r\n\r\n";
    Append(s.payload, header);
    s.payload.resize(s.payload.size() + 600, 'x');
  } else if (s.reply) {
    s.payload.assign(700, 'y');
  } else {
    s.flags = kAck;  // the client acknowledges the body
  }
  return s;
}

// Each flow's next sequence number in each direction, as the capture is written.
struct SequenceState {
  uint32_t client = kClientIsn;
  uint32_t server = kServerIsn;
};

Bytes Frame(uint32_t flow, uint32_t packet, SequenceState& seq) {
  const uint8_t client[4] = {10, static_cast<uint8_t>(flow >> 16), static_cast<uint8_t>(flow >> 8),
                             static_cast<uint8_t>(flow)};
  const uint8_t server[4] = {198, 51, 100, static_cast<uint8_t>(flow % kServers)};
  const Segment s = MakeSegment(flow, packet, server);
  const CaptureFlowKind kind = KindOfFlow(flow);
  const bool tcp = kind != CaptureFlowKind::kDns;
  const size_t l4 = tcp ? kTcpHeader : kUdpHeader;
  Bytes f(kEthernetHeader + kIpHeader + l4 + s.payload.size(), 0);
  const uint8_t* src = s.reply ? server : client;
  const uint8_t* dst = s.reply ? client : server;
  f[0] = 2, f[5] = s.reply ? 1 : 2, f[6] = 2, f[11] = s.reply ? 2 : 1;
  f[12] = 0x08;
  uint8_t* ip = f.data() + kEthernetHeader;
  const size_t ip_length = kIpHeader + l4 + s.payload.size();
  ip[0] = 0x45, ip[2] = static_cast<uint8_t>(ip_length >> 8),
  ip[3] = static_cast<uint8_t>(ip_length);
  ip[8] = 64, ip[9] = tcp ? kIpProtoTcp : kIpProtoUdp;
  for (int i = 0; i < 4; i++) ip[12 + i] = src[i], ip[16 + i] = dst[i];
  uint8_t* t = ip + kIpHeader;
  const uint16_t client_port = static_cast<uint16_t>(20000 + flow % 40000);
  const uint16_t server_port = kind == CaptureFlowKind::kTls    ? kTlsPort
                               : kind == CaptureFlowKind::kHttp ? kHttpPort
                                                                : kDnsPort;
  const uint16_t sport = s.reply ? server_port : client_port;
  const uint16_t dport = s.reply ? client_port : server_port;
  t[0] = static_cast<uint8_t>(sport >> 8), t[1] = static_cast<uint8_t>(sport);
  t[2] = static_cast<uint8_t>(dport >> 8), t[3] = static_cast<uint8_t>(dport);
  if (tcp) {
    uint32_t& own = s.reply ? seq.server : seq.client;
    const uint32_t peer = s.reply ? seq.client : seq.server;
    const uint32_t number = own;
    const uint32_t ack = s.flags == kSyn ? 0 : peer;
    own += static_cast<uint32_t>(s.payload.size()) + ((s.flags & kSyn) ? 1 : 0);
    for (int i = 0; i < 4; i++) {
      t[4 + i] = static_cast<uint8_t>(number >> (24 - 8 * i));
      t[8 + i] = static_cast<uint8_t>(ack >> (24 - 8 * i));
    }
    t[12] = 0x50;
    t[13] = s.flags;
    t[14] = 0xff, t[15] = 0xff;  // window
  } else {
    t[4] = static_cast<uint8_t>((kUdpHeader + s.payload.size()) >> 8);
    t[5] = static_cast<uint8_t>(kUdpHeader + s.payload.size());
  }
  std::copy(s.payload.begin(), s.payload.end(),
            f.begin() + static_cast<long>(kEthernetHeader + kIpHeader + l4));
  return f;
}

// One Ethernet frame at `time_us`.
void Dump(pcap_dumper_t* dumper, const Bytes& bytes, uint64_t time_us) {
  pcap_pkthdr header{};
  header.ts.tv_sec = static_cast<time_t>(time_us / 1000000);
  header.ts.tv_usec = static_cast<suseconds_t>(time_us % 1000000);
  header.caplen = header.len = static_cast<uint32_t>(bytes.size());
  pcap_dump(reinterpret_cast<u_char*>(dumper), &header, bytes.data());
}

void WriteCapture(const char* name) {
  pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
  pcap_dumper_t* dumper = pcap_dump_open(dead, name);
  if (!dumper) std::abort();
  std::vector<SequenceState> sequences(kCaptureFlows);
  for (uint32_t i = 0; i < kCapturePackets; i++) {
    const uint32_t flow = i % kCaptureFlows;
    const uint32_t packet = i / kCaptureFlows;
    Dump(dumper, Frame(flow, packet, sequences[flow]), kStartUs + i * kPacketGapUs);
  }
  pcap_dump_close(dumper);
  pcap_close(dead);
}

}  // namespace

void WriteMixedCapture(const std::string& path) {
  WriteCapture(path.c_str());
}

void WriteOnePacketFlowsCapture(const std::string& path, uint32_t flows) {
  constexpr uint16_t kFirstPort = 10000, kPorts = 50000, kServerPort = 9999;
  constexpr size_t kPayload = 16;
  pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
  pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
  if (!dumper) std::abort();
  Bytes f(kEthernetHeader + kIpHeader + kUdpHeader + kPayload, 0);
  const uint8_t ether[] = {0x02, 0, 0, 0, 0, 0x02, 0x02, 0, 0, 0, 0, 0x01, 0x08, 0x00};
  std::copy(std::begin(ether), std::end(ether), f.begin());
  uint8_t* ip = f.data() + kEthernetHeader;
  const uint32_t ip_length = kIpHeader + kUdpHeader + kPayload;
  ip[0] = 0x45, ip[2] = static_cast<uint8_t>(ip_length >> 8);
  ip[3] = static_cast<uint8_t>(ip_length), ip[8] = 64, ip[9] = kIpProtoUdp;
  ip[12] = 10, ip[16] = 198, ip[17] = 51, ip[18] = 100, ip[19] = 1;
  uint8_t* udp = ip + kIpHeader;
  udp[2] = static_cast<uint8_t>(kServerPort >> 8), udp[3] = static_cast<uint8_t>(kServerPort);
  udp[5] = kUdpHeader + kPayload;
  for (uint32_t i = 0; i < flows; i++) {
    ip[13] = static_cast<uint8_t>(i >> 16), ip[14] = static_cast<uint8_t>(i >> 8);
    ip[15] = static_cast<uint8_t>(i);
    const uint16_t port = static_cast<uint16_t>(kFirstPort + i % kPorts);
    udp[0] = static_cast<uint8_t>(port >> 8), udp[1] = static_cast<uint8_t>(port);
    Dump(dumper, f, kStartUs + i * kOnePacketGapUs);
  }
  pcap_dump_close(dumper);
  pcap_close(dead);
}

CaptureFlowKind KindOfFlow(uint32_t flow) {
  switch (flow % 3) {
    case 0:
      return CaptureFlowKind::kTls;
    case 1:
      return CaptureFlowKind::kDns;
    default:
      return CaptureFlowKind::kHttp;
  }
}

const std::string& CapturePath() {
  static const std::string path = [] {
    const char* kept = std::getenv("KORVEL_CAPTURE_BENCH_FILE");
    if (kept && *kept) {
      WriteCapture(kept);
      return std::string(kept);
    }
    char name[] = "/tmp/korvel-capture-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    WriteCapture(name);
    std::atexit([] { std::remove(CapturePath().c_str()); });
    return std::string(name);
  }();
  return path;
}

}  // namespace korvel_bench
