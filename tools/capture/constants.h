// Constants of the capture source: link types, header layouts and protocol numbers it reads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace capture {

// Link types as libpcap reports them (pcap_datalink).
constexpr int kLinkNull = 0;  // BSD loopback, address family in the capturing host's order
constexpr int kLinkEthernet = 1;
constexpr int kLinkRaw12 = 12;      // raw IP (Linux and most systems)
constexpr int kLinkRaw14 = 14;      // raw IP (OpenBSD)
constexpr int kLinkRaw101 = 101;    // raw IP, as the file's link type
constexpr int kLinkLoop = 108;      // BSD loopback, address family in network order
constexpr int kLinkLinuxSll = 113;  // Linux cooked v1
constexpr int kLinkIpv4 = 228;
constexpr int kLinkIpv6 = 229;
constexpr int kLinkLinuxSll2 = 276;  // Linux cooked v2

// Link header sizes.
constexpr size_t kEthernetHeader = 14;
constexpr size_t kVlanTag = 4;
constexpr size_t kPppoeSession = 8;  // PPPoE header and the PPP protocol field
constexpr size_t kMplsLabel = 4;
constexpr size_t kSllHeader = 16;
constexpr size_t kSll2Header = 20;
constexpr size_t kLoopbackHeader = 4;
constexpr size_t kMacBytes = 6;

// Ethertypes and PPP protocols.
constexpr uint16_t kEtherIpv4 = 0x0800;
constexpr uint16_t kEtherIpv6 = 0x86dd;
constexpr uint16_t kEtherVlan = 0x8100;     // 802.1Q
constexpr uint16_t kEtherQinQ = 0x88a8;     // 802.1ad
constexpr uint16_t kEtherQinQOld = 0x9100;  // pre-standard double tagging
constexpr uint16_t kEtherPppoeSession = 0x8864;
constexpr uint16_t kEtherMplsUnicast = 0x8847;
constexpr uint16_t kEtherMplsMulticast = 0x8848;
constexpr uint16_t kPppIpv4 = 0x0021;
constexpr uint16_t kPppIpv6 = 0x0057;
constexpr uint16_t kVlanIdMask = 0x0fff;
// Tags and labels walked before a frame is given up as malformed.
constexpr int kMaxLinkLayers = 8;

// BSD loopback address families of IPv6 (NetBSD/OpenBSD, FreeBSD, macOS, Linux); IPv4 is 2
// everywhere.
constexpr uint32_t kLoopbackInet = 2;
constexpr uint32_t kLoopbackInet6[] = {24, 28, 30, 10};

// IP.
constexpr size_t kIpv4MinHeader = 20;
constexpr size_t kIpv6Header = 40;
constexpr uint16_t kIpv4MoreFragments = 0x2000;
constexpr uint16_t kIpv4OffsetMask = 0x1fff;
constexpr uint8_t kProtoHopByHop = 0;
constexpr uint8_t kProtoIcmp = 1;
constexpr uint8_t kProtoIgmp = 2;
constexpr uint8_t kProtoTcp = 6;
constexpr uint8_t kProtoUdp = 17;
constexpr uint8_t kProtoRouting = 43;
constexpr uint8_t kProtoFragment = 44;
constexpr uint8_t kProtoAh = 51;
constexpr uint8_t kProtoIcmpv6 = 58;
constexpr uint8_t kProtoDestOptions = 60;
constexpr uint8_t kProtoMobility = 135;
constexpr uint8_t kProtoHip = 139;
constexpr uint8_t kProtoShim6 = 140;
// IPv6 extension headers walked before a packet is given up as malformed.
constexpr int kMaxExtensionHeaders = 16;

// Transport headers.
constexpr size_t kUdpHeader = 8;
constexpr size_t kTcpMinHeader = 20;
constexpr size_t kIcmpHeader = 4;
constexpr uint8_t kTcpFin = 0x01;
constexpr uint8_t kTcpSyn = 0x02;
constexpr uint8_t kTcpRst = 0x04;
constexpr uint8_t kTcpAck = 0x10;

// GTP-U.
constexpr uint16_t kGtpUserPort = 2152;
constexpr size_t kGtpHeader = 8;
constexpr size_t kGtpOptional = 4;  // sequence number, N-PDU number, next extension type
constexpr uint8_t kGtpVersion1 = 1;
constexpr uint8_t kGtpFlagProtocolType = 0x10;
constexpr uint8_t kGtpFlagExtension = 0x04;
constexpr uint8_t kGtpFlagSequence = 0x02;
constexpr uint8_t kGtpFlagNpdu = 0x01;
constexpr uint8_t kGtpMessageGpdu = 0xff;
// Extension headers walked before a GTP-U packet is given up as malformed.
constexpr int kMaxGtpExtensions = 16;

// Classification with nDPI. Packets of a flow fed to nDPI before it is given up with nDPI's
// guess (as nDPI's own reader does).
constexpr uint32_t kDpiMaxTcpPackets = 80;
constexpr uint32_t kDpiMaxUdpPackets = 24;
constexpr uint32_t kDpiMaxOtherPackets = 24;
// Longest IP packet nDPI takes (its length is 16 bits).
constexpr uint32_t kDpiMaxPacketBytes = 65535;
// Longest detail text copied into a flow (host names, user agent, URL, DHCP, SSH, certificate
// names); longer texts are cut at this many bytes.
constexpr size_t kDpiMaxDetailText = 512;
// Client ALPN entries copied into a flow; the rest are dropped.
constexpr size_t kDpiMaxAlpnEntries = 16;
// Addresses from DNS answers remembered with their query name, and for how long after the answer.
constexpr size_t kDnsCacheEntries = 65536;
constexpr uint64_t kDnsCacheLifetimeUs = uint64_t{600} * 1000000;
constexpr uint16_t kDnsPort = 53;
// Answer records read from one DNS response.
constexpr int kDnsMaxAnswers = 64;

// Flows the tracker holds at once by default; a new flow beyond them is not tracked and counts
// in its interface's "flow_dropped".
constexpr uint64_t kDefaultMaxFlows = 1000000;

// Purged flow records the tracker keeps for the plugin before it settles: a long run of purges
// (the end of the input, a burst of expiries) settles every this many, so that the records the
// plugin has let go of are freed as the run goes, not at its end.
constexpr size_t kMaxRetiredFlows = 8192;

// The flow-map keys the capture source gives its flows: this prefix and the flow's number in
// the order the flows were made.
constexpr const char* kFlowKeyPrefix = "f";

// The stdio buffer a capture file is read through.
constexpr size_t kCaptureReadBufferBytes = size_t{1} << 20;

// Capture times.
constexpr uint64_t kMicrosPerSecond = 1000000;
constexpr uint64_t kMicrosPerMilli = 1000;
// Timestamps beyond this many seconds are taken as this (a broken file cannot overflow the clock).
constexpr uint64_t kMaxTimestampSeconds = uint64_t{1} << 40;

}  // namespace capture
