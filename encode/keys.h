// Member names that several of the record encoders write; a name written in one place keeps its
// literal there.
#pragma once

namespace kpp::encode::key {

// Flow identity block.
constexpr const char kDigest[] = "digest";
constexpr const char kDigestPrev[] = "digest_prev";
constexpr const char kLastSeenAt[] = "last_seen_at";

// Flow metadata.
constexpr const char kIpVersion[] = "ip_version";
constexpr const char kIpDscp[] = "ip_dscp";
constexpr const char kOtherType[] = "other_type";

// Endpoint keys: one set for the local side and one for the other side.
constexpr const char kLocalIp[] = "local_ip";
constexpr const char kOtherIp[] = "other_ip";
constexpr const char kLocalPort[] = "local_port";
constexpr const char kOtherPort[] = "other_port";

// The "category" object.
constexpr const char kCategory[] = "category";

// DPI details.
constexpr const char kHttp[] = "http";
constexpr const char kUserAgent[] = "user_agent";
constexpr const char kDhcp[] = "dhcp";
constexpr const char kFingerprint[] = "fingerprint";
constexpr const char kSsh[] = "ssh";
constexpr const char kSsl[] = "ssl";
constexpr const char kVersion[] = "version";
constexpr const char kStun[] = "stun";

// Risk block.
constexpr const char kRisks[] = "risks";

// The "gtp" object (with "version", "ip_version", "ip_dscp", "other_type" and the endpoint keys).
constexpr const char kGtp[] = "gtp";

// Flow counters.
constexpr const char kTcp[] = "tcp";

}  // namespace kpp::encode::key
