// kvFlow: the daemon's record of one flow, with its DPI details and its encoder.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kv/addr.h"
#include "kv/api.h"
#include "kv/flags.h"
#include "kv/flow_stats.h"
#include "kv/ids.h"
#include "kv/json.h"
#include "kv/serializer.h"

class kvInterface;

// Daemon threads update a flow and the plugin's worker encodes it; both hold `lock` while they
// touch the fields below (except the walk's flags and counters, read under the flow-map bucket
// lock, and the counters copied by single-flow events under the plugin's thread lock).
class KV_API kvFlow : public kvSerializer {
 public:
  enum EncodeFlags : uint8_t {
    ENCODE_NONE = 0x00,
    ENCODE_METADATA = 0x01,
    ENCODE_TUNNELS = 0x02,
    ENCODE_STATS = 0x04,
    ENCODE_ALL = 0x07,
  };

  enum LowerMap : uint8_t { LOWER_MAP_UNKNOWN = 0, LOWER_MAP_LOCAL = 1, LOWER_MAP_OTHER = 2 };
  enum Origin : uint8_t { ORIGIN_UNKNOWN = 0, ORIGIN_LOWER = 1, ORIGIN_UPPER = 2 };
  enum TunnelType : uint8_t { TUNNEL_NONE = 0, TUNNEL_GTP = 1 };
  enum PrivacyMask : uint8_t {
    PRIVATE_LOWER_MAC = 0x01,
    PRIVATE_UPPER_MAC = 0x02,
    PRIVATE_UPPER_IP = 0x04,
    PRIVATE_LOWER_IP = 0x08,
  };

  // The sixteen detail tests, in the order the host may override them (see `has_override`).
  enum Detail : uint8_t {
    DETAIL_HTTP_USER_AGENT,
    DETAIL_HTTP_URL,
    DETAIL_DHCP_FINGERPRINT,
    DETAIL_DHCP_CLASS_IDENT,
    DETAIL_SSH_CLIENT_AGENT,
    DETAIL_SSH_SERVER_AGENT,
    DETAIL_TLS_CLIENT_SNI,
    DETAIL_TLS_ENCRYPTED_CH,
    DETAIL_TLS_SERVER_CN,
    DETAIL_TLS_ISSUER_DN,
    DETAIL_TLS_SUBJECT_DN,
    DETAIL_TLS_CLIENT_JA4,
    DETAIL_BT_INFO_HASH,
    DETAIL_SSDP_USER_AGENT,
    DETAIL_MDNS_DOMAIN_NAME,
    DETAIL_STUN_ADDRESS,
    DETAIL_COUNT,
  };

  struct Category {
    uint32_t application = 0;
    uint32_t protocol = 0;
    uint32_t domain = 0;
    uint32_t lower_network = 0;
    uint32_t upper_network = 0;
    uint32_t overlay = 0;
  };

  struct Tls {
    uint16_t version = 0;
    uint16_t cipher_suite = 0;
    uint16_t ech_version = 0;
    std::string server_cn;
    std::string issuer_dn;
    std::string subject_dn;
    std::string client_ja4;
    std::vector<uint8_t> cert_fingerprint;  // SHA-1 digest bytes
    std::vector<std::string> alpn;
    std::vector<std::string> alpn_server;
  };

  struct Stun {
    kvAddr mapped;
    kvAddr peer;
    kvAddr relayed;
    kvAddr response;
    kvAddr other;
  };

  struct Gtp {
    uint8_t version = 0;
    uint8_t ip_version = 0;
    uint8_t ip_dscp = 0;
    uint8_t lower_map = 0;
    uint8_t other_type = 0;
    uint32_t lower_teid = 0;  // network byte order
    uint32_t upper_teid = 0;  // network byte order
    kvAddr lower_addr;
    kvAddr upper_addr;
  };

  kvFlow();
  ~kvFlow();

  mutable std::recursive_mutex lock;

  std::shared_ptr<kvInterface> iface;  // always set by the daemon

  uint64_t digest = 0;
  std::vector<uint64_t> digest_history;  // oldest first
  uint64_t ts_first_seen = 0;
  uint64_t ts_last_seen = 0;

  uint8_t lower_map = LOWER_MAP_UNKNOWN;
  uint8_t other_type = 0;
  uint8_t tunnel_type = TUNNEL_NONE;
  uint8_t origin = ORIGIN_UNKNOWN;
  uint8_t privacy_mask = 0;

  kvAddr lower_mac;
  kvAddr upper_mac;
  kvAddr lower_addr;  // IP address with port
  kvAddr upper_addr;  // IP address with port

  uint8_t ip_version = 0;
  uint8_t ip_dscp = 0;
  uint8_t ip_protocol = 0;
  uint16_t vlan_id = 0;

  bool ip_nat = false;
  bool dhc_hit = false;
  bool fhc_hit = false;
  bool soft_dissector = false;
  bool app_ip_override = false;
  bool app_proto_twins = false;
  bool detection_guessed = false;
  bool detection_updated = false;
  uint8_t tcp_closed = 0;

  // Read by the flow-map walk under the bucket lock.
  bool stats_ready = false;
  bool stats_hold = false;

  kvProto::Id detected_protocol = kvProto::PROTO_UNKNOWN;
  std::string detected_protocol_name;
  uint32_t detected_application = 0;
  std::string detected_application_name;
  kvProto::Id master_protocol = kvProto::PROTO_UNKNOWN;
  Category category;

  std::string dns_host_name;
  std::string host_server_name;  // also the TLS server name indication
  std::string user_agent;        // HTTP, and SSDP
  std::string http_url;
  std::string dhcp_fingerprint;
  std::string dhcp_class_ident;
  std::string ssh_client_agent;
  std::string ssh_server_agent;
  std::string mdns_answer;
  Tls tls;
  std::vector<uint8_t> bt_info_hash;  // SHA-1 digest bytes
  Stun stun;

  std::set<kvRisk::Id> risks;
  uint16_t risk_score = 0;
  uint16_t risk_score_client = 0;
  uint16_t risk_score_server = 0;
  std::set<std::string> tags;

  Gtp gtp;

  kvFlowStats stats;

  // Host override of a detail test: -1 answers from the fields, 0 false, 1 true.
  std::array<int8_t, DETAIL_COUNT> has_override;

  bool HasHttpUserAgent() const;
  bool HasHttpURL() const;
  bool HasDhcpFingerprint() const;
  bool HasDhcpClassIdent() const;
  bool HasSSHClientAgent() const;
  bool HasSSHServerAgent() const;
  bool HasTLSClientSNI() const;
  bool HasTLSEncryptedCH() const;
  bool HasTLSServerCN() const;
  bool HasTLSIssuerDN() const;
  bool HasTLSSubjectDN() const;
  bool HasTLSClientJA4() const;
  bool HasBTInfoHash() const;
  bool HasSSDPUserAgent() const;
  bool HasMDNSDomainName() const;
  bool HasSTUNAddress() const;

  kvProto::Id GetMasterProtocol() const { return master_protocol; }

  // Adds the flow's members to `j` (see the encoder in the processor plugin). Defined by the
  // processor plugin for the library's json type. Holds `lock` throughout.
  template <typename J>
  void Encode(J& j, const kvFlowStats& stats_snapshot, kvFlags<EncodeFlags> flags) const;

 private:
  bool Answer(Detail detail, bool computed) const;
};
