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
constexpr int kLinkPpp = 9;          // PPP, with or without the HDLC address and control bytes
constexpr int kLinkPppHdlc = 50;     // PPP in HDLC-like framing (or Cisco HDLC)
constexpr int kLinkCiscoHdlc = 104;
constexpr int kLinkIeee80211 = 105;  // 802.11 frames without a radio header
constexpr int kLinkRadiotap = 127;   // 802.11 frames after a radiotap header
constexpr int kLinkPpi = 192;        // a PPI header naming the link type that follows

// Link header sizes.
constexpr size_t kEthernetHeader = 14;
constexpr size_t kVlanTag = 4;
constexpr size_t kPppoeSession = 8;  // PPPoE header and the PPP protocol field
constexpr size_t kMplsLabel = 4;
constexpr size_t kSllHeader = 16;
constexpr size_t kSll2Header = 20;
constexpr size_t kLoopbackHeader = 4;
constexpr size_t kMacBytes = 6;
constexpr size_t kCiscoHdlcHeader = 4;  // address, control, ethertype
constexpr size_t kPpiHeader = 8;        // version, flags, length and link type (little-endian)
constexpr size_t kRadiotapHeader = 8;   // version, pad, length (little-endian), first present word
constexpr size_t kLlcSnapHeader = 8;    // AA AA 03, the OUI and the ethertype

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
constexpr uint16_t kEtherTransparentBridging = 0x6558;  // Ethernet inside GRE
constexpr uint16_t kEtherPpp = 0x880b;                  // PPP inside PPTP's enhanced GRE
// The first byte of a PPP frame in HDLC-like framing (address, then control) and of a Cisco HDLC
// frame (unicast or broadcast address).
constexpr uint8_t kPppAddress = 0xff;
constexpr uint8_t kPppControl = 0x03;
constexpr uint8_t kCiscoHdlcUnicast = 0x0f;
constexpr uint8_t kCiscoHdlcBroadcast = 0x8f;
constexpr uint16_t kVlanIdMask = 0x0fff;
// Tags and labels walked before a frame is given up as malformed.
constexpr int kMaxLinkLayers = 8;

// IEEE 802.11: the frame control's type and flags, header sizes, and the radiotap fields read.
constexpr uint8_t kWlanTypeMask = 0x0c;
constexpr uint8_t kWlanTypeData = 0x08;       // type 2
constexpr uint8_t kWlanSubtypeQos = 0x80;     // subtypes 8 to 15
constexpr uint8_t kWlanSubtypeNoData = 0x40;  // null function and CF subtypes without a body
constexpr uint8_t kWlanToDs = 0x01;
constexpr uint8_t kWlanFromDs = 0x02;
constexpr uint8_t kWlanProtected = 0x40;
constexpr uint8_t kWlanOrder = 0x80;  // an HT control field follows the QoS control
constexpr size_t kWlanHeader = 24;
constexpr size_t kWlanHeaderFourAddresses = 30;
constexpr size_t kWlanQosControl = 2;
constexpr size_t kWlanHtControl = 4;
constexpr uint8_t kLlcSnap[] = {0xaa, 0xaa, 0x03};
constexpr uint32_t kRadiotapPresentTsft = 0x00000001;
constexpr uint32_t kRadiotapPresentFlags = 0x00000002;
constexpr uint32_t kRadiotapPresentExtended = 0x80000000;
constexpr uint8_t kRadiotapFlagBadFcs = 0x40;
// Present words of a radiotap header read before it is given up as malformed.
constexpr int kMaxRadiotapPresentWords = 8;

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
constexpr uint8_t kProtoIpInIp = 4;
constexpr uint8_t kProtoTcp = 6;
constexpr uint8_t kProtoUdp = 17;
constexpr uint8_t kProtoIpv6InIp = 41;
constexpr uint8_t kProtoRouting = 43;
constexpr uint8_t kProtoFragment = 44;
constexpr uint8_t kProtoGre = 47;
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

// Tunnels (IP in IP, GRE, VXLAN, CAPWAP, GTP-U) opened in one frame; a frame with more is
// discarded.
constexpr int kMaxTunnelLevels = 8;

// GRE: the flags of the first word, the base header and each optional word (checksum and
// reserved, key, sequence number); version 1 is PPTP's enhanced GRE (key always, acknowledgment
// number when its flag is set).
constexpr size_t kGreHeader = 4;
constexpr size_t kGreOptional = 4;
constexpr uint16_t kGreChecksum = 0x8000;
constexpr uint16_t kGreRouting = 0x4000;
constexpr uint16_t kGreKey = 0x2000;
constexpr uint16_t kGreSequence = 0x1000;
constexpr uint16_t kGreAck = 0x0080;
constexpr uint16_t kGreVersionMask = 0x0007;
constexpr uint16_t kGreVersionPptp = 1;

// VXLAN: UDP port, header and its valid-VNI flag.
constexpr uint16_t kVxlanPort = 4789;
constexpr size_t kVxlanHeader = 8;
constexpr uint8_t kVxlanFlagVni = 0x08;

// CAPWAP data channel: UDP port, the fixed header, the header length's unit, the wireless
// binding of IEEE 802.11.
constexpr uint16_t kCapwapDataPort = 5247;
constexpr size_t kCapwapHeader = 8;
constexpr size_t kCapwapLengthUnit = 4;
constexpr uint8_t kCapwapWbidIeee80211 = 1;

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
constexpr uint64_t kNanosPerMicro = 1000;
constexpr uint64_t kNanosPerSecond = 1000000000;
// Timestamps beyond this many seconds are taken as this (a broken file cannot overflow the clock).
constexpr uint64_t kMaxTimestampSeconds = uint64_t{1} << 40;

}  // namespace capture

// Live capture (libpcap handles on interfaces).
// The kernel's capture buffer of each interface, unless the tool is told otherwise.
constexpr size_t kLiveBufferBytes = size_t{16} << 20;
// Bytes kept of each packet: libpcap's largest snapshot length, so that packets stay whole.
constexpr int kLiveSnapLength = 262144;
// The longest libpcap holds packets back before it hands them over. Immediate mode is not asked
// for: libpcap on Linux then falls back to a ring of fixed frames of the snapshot length (64
// packets in 16 MiB), where with a timeout its ring holds blocks of packets of their own sizes.
constexpr int kLiveTimeoutMs = 10;
// The update cycle of a live capture runs this far behind the wall clock, so that packets the
// kernel hands over up to a timeout late are still played at their own timestamps.
constexpr uint64_t kLiveClockLagUs = uint64_t{2} * kLiveTimeoutMs * 1000;
// Packets read from one interface before the others and the clock get their turn.
constexpr int kLiveBatchPackets = 256;
// A step of a 32-bit libpcap counter of this much or more (modulo 2^32) is a step back.
constexpr uint32_t kPcapCounterBackwards = uint32_t{1} << 31;
// How often a live capture calls its control's heartbeat (the output's flush, the progress line).
constexpr uint64_t kLiveHeartbeatUs = 1000000;
