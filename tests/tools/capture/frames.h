// Frame builders and capture-file writers for the capture tests: headers assembled byte by byte
// with their lengths and checksums left as the decoder reads them (lengths right, checksums 0).
#pragma once

#include <arpa/inet.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace capture_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

inline Bytes V4(const char* text) {
  Bytes b(4);
  if (inet_pton(AF_INET, text, b.data()) != 1) std::abort();
  return b;
}
inline Bytes V6(const char* text) {
  Bytes b(16);
  if (inet_pton(AF_INET6, text, b.data()) != 1) std::abort();
  return b;
}

inline Bytes Mac(uint8_t last) {
  return Bytes{0x02, 0x00, 0x00, 0x00, 0x00, last};
}

inline Bytes Ether(const Bytes& dst, const Bytes& src, uint16_t type, const Bytes& payload) {
  Bytes b = Cat({dst, src, Bytes(2)});
  Put16(b, 12, type);
  return Cat({b, payload});
}

inline Bytes Ipv4(const char* src, const char* dst, uint8_t protocol, const Bytes& payload,
                  uint8_t dscp = 0, uint16_t fragment = 0) {
  Bytes b(20);
  b[0] = 0x45;
  b[1] = static_cast<uint8_t>(dscp << 2);
  Put16(b, 2, static_cast<uint16_t>(20 + payload.size()));
  Put16(b, 6, fragment);
  b[8] = 64;
  b[9] = protocol;
  Bytes s = V4(src), d = V4(dst);
  std::copy(s.begin(), s.end(), b.begin() + 12);
  std::copy(d.begin(), d.end(), b.begin() + 16);
  return Cat({b, payload});
}

inline Bytes Ipv6(const char* src, const char* dst, uint8_t next, const Bytes& payload,
                  uint8_t dscp = 0) {
  Bytes b(40);
  const uint32_t first = (6u << 28) | (uint32_t{dscp} << 22);
  Put32(b, 0, first);
  Put16(b, 4, static_cast<uint16_t>(payload.size()));
  b[6] = next;
  b[7] = 64;
  Bytes s = V6(src), d = V6(dst);
  std::copy(s.begin(), s.end(), b.begin() + 8);
  std::copy(d.begin(), d.end(), b.begin() + 24);
  return Cat({b, payload});
}

// An IPv6 extension header of `units` 8-byte units (hop-by-hop, routing, destination options).
inline Bytes Extension(uint8_t next, uint8_t units = 1) {
  Bytes b(8 * units);
  b[0] = next;
  b[1] = static_cast<uint8_t>(units - 1);
  return b;
}

inline Bytes Fragment6(uint8_t next, uint16_t offset, bool more) {
  Bytes b(8);
  b[0] = next;
  Put16(b, 2, static_cast<uint16_t>((offset << 3) | (more ? 1 : 0)));
  return b;
}

inline Bytes Tcp(uint16_t sport, uint16_t dport, uint32_t seq, uint8_t flags, size_t payload = 0) {
  Bytes b(20 + payload);
  Put16(b, 0, sport);
  Put16(b, 2, dport);
  Put32(b, 4, seq);
  b[12] = 0x50;
  b[13] = flags;
  return b;
}

inline Bytes Udp(uint16_t sport, uint16_t dport, const Bytes& payload = Bytes(4)) {
  Bytes b(8);
  Put16(b, 0, sport);
  Put16(b, 2, dport);
  Put16(b, 4, static_cast<uint16_t>(8 + payload.size()));
  return Cat({b, payload});
}

inline Bytes Icmp() {
  return Bytes{8, 0, 0, 0, 0, 1, 0, 1};
}

// A GTP-U G-PDU with `teid` around `inner`; `options` adds the sequence-number fields, and each
// entry of `extensions` one extension header of that many 4-byte units.
inline Bytes Gtp(uint32_t teid, const Bytes& inner, bool options = false,
                 std::vector<uint8_t> extensions = {}) {
  Bytes tail;
  uint8_t flags = 0x30;
  if (options || !extensions.empty()) {
    flags |= 0x02;
    tail = Bytes(4);
    if (!extensions.empty()) {
      flags |= 0x04;
      tail[3] = 0x85;
    }
    for (size_t i = 0; i < extensions.size(); i++) {
      // A length of 0 (malformed) still takes one unit here.
      Bytes ext(size_t{extensions[i] ? extensions[i] : uint8_t{1}} * 4);
      ext[0] = extensions[i];
      ext.back() = i + 1 < extensions.size() ? 0x85 : 0;
      tail = Cat({tail, ext});
    }
  }
  Bytes b(8);
  b[0] = flags;
  b[1] = 0xff;
  Put16(b, 2, static_cast<uint16_t>(tail.size() + inner.size()));
  Put32(b, 4, teid);
  return Cat({b, tail, inner});
}

inline Bytes Pppoe(uint16_t ppp, const Bytes& payload) {
  Bytes b(8);
  b[0] = 0x11;
  Put16(b, 2, 0x1234);
  Put16(b, 4, static_cast<uint16_t>(2 + payload.size()));
  Put16(b, 6, ppp);
  return Cat({b, payload});
}

inline Bytes Sll(uint16_t protocol, const Bytes& payload) {
  Bytes b(16);
  Put16(b, 2, 1);
  Put16(b, 4, 6);
  Put16(b, 14, protocol);
  return Cat({b, payload});
}

inline Bytes Sll2(uint16_t protocol, const Bytes& payload) {
  Bytes b(20);
  Put16(b, 0, protocol);
  Put16(b, 8, 1);
  b[11] = 6;
  return Cat({b, payload});
}

// The BSD loopback header with the family in little-endian order (the capturing host's).
inline Bytes Loopback(uint32_t family, const Bytes& payload) {
  Bytes b{static_cast<uint8_t>(family), 0, 0, 0};
  return Cat({b, payload});
}

// An 802.11 frame (addresses Mac(1) to Mac(4), QoS and HT control as asked), LLC/SNAP of `type`.
inline Bytes Wlan(uint8_t control, uint8_t flags, uint16_t type, const Bytes& payload) {
  Bytes b = Cat({Bytes{control, flags, 0, 0}, Mac(1), Mac(2), Mac(3), Bytes(2)});
  if ((flags & 0x03) == 0x03) b = Cat({b, Mac(4)});
  if (control & 0x80) b = Cat({b, Bytes((flags & 0x80) ? 6 : 2)});
  return Cat({b, Bytes{0xaa, 0xaa, 0x03, 0, 0, 0, uint8_t(type >> 8), uint8_t(type)}, payload});
}

// One record of a capture file.
struct Frame {
  uint64_t time_us = 0;
  Bytes bytes;
  uint32_t wirelen = 0;  // 0: the captured length
};

// A temporary file removed at the end of the scope.
class TempPath {
 public:
  explicit TempPath(const std::string& suffix = ".pcap") {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir && *dir ? dir : "/tmp") + "/korvel-capture-XXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0) std::abort();
    ::close(fd);
    path = name.data();
  }
  ~TempPath() { std::remove(path.c_str()); }
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;
  const std::string& Path() const { return path; }

 private:
  std::string path;
};

// Writes `frames` as a pcap file of `link_type` with microsecond timestamps.
inline void WritePcap(const std::string& path, int link_type, const std::vector<Frame>& frames) {
  pcap_t* dead =
      pcap_open_dead_with_tstamp_precision(link_type, 262144, PCAP_TSTAMP_PRECISION_MICRO);
  pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
  if (!dumper) {
    std::fprintf(stderr, "pcap_dump_open: %s\n", pcap_geterr(dead));
    std::abort();
  }
  for (const Frame& frame : frames) {
    pcap_pkthdr header{};
    header.ts.tv_sec = static_cast<time_t>(frame.time_us / 1000000);
    header.ts.tv_usec = static_cast<suseconds_t>(frame.time_us % 1000000);
    header.caplen = static_cast<uint32_t>(frame.bytes.size());
    header.len = frame.wirelen ? frame.wirelen : header.caplen;
    pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.bytes.data());
  }
  pcap_dump_close(dumper);
  pcap_close(dead);
}

inline std::string ReadFile(const std::string& path) {
  std::string content;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) content.append(buffer, n);
    std::fclose(f);
  }
  return content;
}

inline void WriteFile(const std::string& path, const std::string& content) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

}  // namespace capture_test
