// Fixed texts and numbers of the record encodings (placeholders, masks, name tables), in one place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kv/ids.h"

namespace kpp::encode::text {

// Written for a detected protocol or application without a name.
constexpr const char kUnknownName[] = "Unknown";

// Written for a hardware address the record does not hold.
constexpr const char kNoMac[] = "00:00:00:00:00:00";

// Written instead of an address that the flow's privacy mask hides.
constexpr const char kMaskedLowerMac[] = "00:52:14:00:00:00";
constexpr const char kMaskedUpperMac[] = "00:52:ff:00:00:00";
constexpr const char kMaskedLowerIPv4[] = "127.255.0.253";
constexpr const char kMaskedUpperIPv4[] = "127.255.0.254";
constexpr const char kMaskedLowerIPv6[] = "fe:80::ffff:7fff:fd";
constexpr const char kMaskedUpperIPv6[] = "fe:80::ffff:7fff:fe";

// Separator handed with string lists; lists are always written as arrays, so it never shows.
constexpr const char kListSeparator[] = ",";

// The IP version whose masks are the IPv4 texts; every other version gets the IPv6 texts.
constexpr uint8_t kIPv4 = 4;

// The IP protocol whose flows carry the "tcp" counters object.
constexpr uint8_t kIpProtocolTcp = 6;

// A flow is a TLS flow when its master protocol is TLS or its detected protocol is QUIC.
constexpr kvProto::Id kTlsMasterProtocol = kvProto::PROTO_TLS;
constexpr kvProto::Id kQuicDetectedProtocol = kvProto::PROTO_QUIC;

// "other_type" of a flow, indexed by its other-type byte; values past the end are "unknown".
constexpr const char* kFlowOtherTypes[] = {
    "unknown", "unsupported", "local", "multicast", "broadcast", "remote", "error",
};
constexpr size_t kFlowOtherTypeCount = sizeof(kFlowOtherTypes) / sizeof(kFlowOtherTypes[0]);
constexpr const char kFlowOtherTypeDefault[] = "unknown";

// "other_type" inside "gtp": only local, remote and error are told apart.
constexpr uint8_t kGtpOtherTypeLocal = 2;
constexpr uint8_t kGtpOtherTypeRemote = 5;
constexpr uint8_t kGtpOtherTypeError = 6;
constexpr const char kGtpOtherLocal[] = "local";
constexpr const char kGtpOtherRemote[] = "remote";
constexpr const char kGtpOtherError[] = "error";
constexpr const char kGtpOtherDefault[] = "unsupported";

// Interface "role", by role byte.
constexpr const char kRoleLan[] = "LAN";
constexpr const char kRoleWan[] = "WAN";
constexpr const char kRoleUnknown[] = "UNKNOWN";

// Interface "capture_type", by capture type with its lowest bit ignored.
constexpr uint32_t kCaptureTypeIgnoredBits = 0x01;
constexpr const char kCapturePcap[] = "PCAP";
constexpr const char kCaptureTpv3[] = "TPv3";
constexpr const char kCaptureNfq[] = "NFQ";
constexpr const char kCaptureUnknown[] = "UNKNOWN";

}  // namespace kpp::encode::text
