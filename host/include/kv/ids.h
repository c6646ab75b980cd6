// The daemon's protocol, risk and API identifier enumerations, and the hasher for tables keyed by them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvProto {
// Protocol identifiers; the name tables give every named value its text.
enum Id : uint32_t {
  PROTO_UNKNOWN = 0,
  PROTO_SSDP = 12,
  PROTO_TLS = 91,
  PROTO_QUIC = 188,
  PROTO_TODO = 0xffffffffu,
};
}  // namespace kvProto

namespace kvRisk {
// Risk identifiers as the daemon reports them.
enum Id : uint32_t {
  RISK_NONE = 0,
  RISK_TODO = 0xffffffffu,
};
}  // namespace kvRisk

namespace kvKorvelApiAuthMethod {
enum Type : uint8_t { INVALID = 0, BASIC = 1, BEARER = 2, MTLS = 3 };
}

namespace kvKorvelApiData {
enum Type : uint8_t { INVALID = 0, AGENT = 1, INTEL = 2, DEV_DISCOVERY = 3 };
}

// Hashes an enumeration key: its value zero-extended to size_t, plus 0x9e3779b9.
struct kvEnumHasher {
  template <typename E>
  size_t operator()(E key) const {
    return static_cast<size_t>(static_cast<uint64_t>(key)) + 0x9e3779b9u;
  }
};
