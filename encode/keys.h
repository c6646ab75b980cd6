// Member names of the flow, interface, counter and status records' JSON encodings, in one place.
#pragma once

namespace kpp::encode::key {

// Flow identity block.
constexpr const char kDigest[] = "digest";
constexpr const char kDigestPrev[] = "digest_prev";
constexpr const char kLastSeenAt[] = "last_seen_at";
constexpr const char kFirstSeenAt[] = "first_seen_at";

// Flow metadata.
constexpr const char kIpNat[] = "ip_nat";
constexpr const char kDhcHit[] = "dhc_hit";
constexpr const char kFhcHit[] = "fhc_hit";
constexpr const char kSoftDissector[] = "soft_dissector";
constexpr const char kAppIpOverride[] = "app_ip_override";
constexpr const char kAppProtoTwins[] = "app_proto_twins";
constexpr const char kIpVersion[] = "ip_version";
constexpr const char kIpDscp[] = "ip_dscp";
constexpr const char kIpProtocol[] = "ip_protocol";
constexpr const char kVlanId[] = "vlan_id";
constexpr const char kOtherType[] = "other_type";
constexpr const char kLocalOrigin[] = "local_origin";
constexpr const char kDetectedProtocol[] = "detected_protocol";
constexpr const char kDetectedProtocolName[] = "detected_protocol_name";
constexpr const char kDetectedApplication[] = "detected_application";
constexpr const char kDetectedApplicationName[] = "detected_application_name";
constexpr const char kDetectionGuessed[] = "detection_guessed";
constexpr const char kDetectionUpdated[] = "detection_updated";

// Endpoint keys: one set for the local side and one for the other side.
constexpr const char kLocalMac[] = "local_mac";
constexpr const char kOtherMac[] = "other_mac";
constexpr const char kLocalIp[] = "local_ip";
constexpr const char kOtherIp[] = "other_ip";
constexpr const char kLocalPort[] = "local_port";
constexpr const char kOtherPort[] = "other_port";
constexpr const char kLocalNetwork[] = "local_network";
constexpr const char kOtherNetwork[] = "other_network";
constexpr const char kLocalTeid[] = "local_teid";
constexpr const char kOtherTeid[] = "other_teid";

// The "category" object.
constexpr const char kCategory[] = "category";
constexpr const char kApplication[] = "application";
constexpr const char kProtocol[] = "protocol";
constexpr const char kDomain[] = "domain";
constexpr const char kOverlay[] = "overlay";

// DPI details.
constexpr const char kDnsHostName[] = "dns_host_name";
constexpr const char kHostServerName[] = "host_server_name";
constexpr const char kHttp[] = "http";
constexpr const char kUserAgent[] = "user_agent";
constexpr const char kUrl[] = "url";
constexpr const char kDhcp[] = "dhcp";
constexpr const char kFingerprint[] = "fingerprint";
constexpr const char kClassIdent[] = "class_ident";
constexpr const char kSsh[] = "ssh";
constexpr const char kClient[] = "client";
constexpr const char kServer[] = "server";
constexpr const char kSsl[] = "ssl";
constexpr const char kVersion[] = "version";
constexpr const char kCipherSuite[] = "cipher_suite";
constexpr const char kClientSni[] = "client_sni";
constexpr const char kEncryptedChVersion[] = "encrypted_ch_version";
constexpr const char kServerCn[] = "server_cn";
constexpr const char kIssuerDn[] = "issuer_dn";
constexpr const char kSubjectDn[] = "subject_dn";
constexpr const char kClientJa4[] = "client_ja4";
constexpr const char kAlpn[] = "alpn";
constexpr const char kAlpnServer[] = "alpn_server";
constexpr const char kBt[] = "bt";
constexpr const char kInfoHash[] = "info_hash";
constexpr const char kSsdp[] = "ssdp";
constexpr const char kMdns[] = "mdns";
constexpr const char kAnswer[] = "answer";
constexpr const char kStun[] = "stun";
constexpr const char kMapped[] = "mapped";
constexpr const char kPeer[] = "peer";
constexpr const char kRelayed[] = "relayed";
constexpr const char kResponse[] = "response";
constexpr const char kOther[] = "other";

// Risk block and tags.
constexpr const char kRisks[] = "risks";
constexpr const char kNdpiRiskScore[] = "ndpi_risk_score";
constexpr const char kNdpiRiskScoreClient[] = "ndpi_risk_score_client";
constexpr const char kNdpiRiskScoreServer[] = "ndpi_risk_score_server";
constexpr const char kTags[] = "tags";

// The "gtp" object (with "version", "ip_version", "ip_dscp", "other_type" and the endpoint keys).
constexpr const char kGtp[] = "gtp";

// Flow counters.
constexpr const char kLocalBytes[] = "local_bytes";
constexpr const char kOtherBytes[] = "other_bytes";
constexpr const char kTotalLocalBytes[] = "total_local_bytes";
constexpr const char kTotalOtherBytes[] = "total_other_bytes";
constexpr const char kLocalPackets[] = "local_packets";
constexpr const char kOtherPackets[] = "other_packets";
constexpr const char kTotalLocalPackets[] = "total_local_packets";
constexpr const char kTotalOtherPackets[] = "total_other_packets";
constexpr const char kTotalPackets[] = "total_packets";
constexpr const char kTotalBytes[] = "total_bytes";
constexpr const char kDetectionPackets[] = "detection_packets";
constexpr const char kLocalRate[] = "local_rate";
constexpr const char kOtherRate[] = "other_rate";
constexpr const char kTcp[] = "tcp";
constexpr const char kSeqErrors[] = "seq_errors";
constexpr const char kResets[] = "resets";
constexpr const char kRetrans[] = "retrans";

// Interface.
constexpr const char kRole[] = "role";
constexpr const char kCaptureType[] = "capture_type";
constexpr const char kCaptureFile[] = "capture_file";
constexpr const char kMac[] = "mac";

// Packet counters.
constexpr const char kRaw[] = "raw";
constexpr const char kEthernet[] = "ethernet";
constexpr const char kMpls[] = "mpls";
constexpr const char kPppoe[] = "pppoe";
constexpr const char kVlan[] = "vlan";
constexpr const char kFragmented[] = "fragmented";
constexpr const char kDiscarded[] = "discarded";
constexpr const char kDiscardedBytes[] = "discarded_bytes";
constexpr const char kLargestBytes[] = "largest_bytes";
constexpr const char kIp[] = "ip";
constexpr const char kTcpSeqErrors[] = "tcp_seq_errors";
constexpr const char kTcpResets[] = "tcp_resets";
constexpr const char kUdp[] = "udp";
constexpr const char kIcmp[] = "icmp";
constexpr const char kIgmp[] = "igmp";
constexpr const char kIpBytes[] = "ip_bytes";
constexpr const char kWireBytes[] = "wire_bytes";
constexpr const char kFlowDropped[] = "flow_dropped";
constexpr const char kFlowEvicted[] = "flow_evicted";
constexpr const char kQueueDropped[] = "queue_dropped";
constexpr const char kCaptureDropped[] = "capture_dropped";
constexpr const char kCaptureFiltered[] = "capture_filtered";

// Instance status.
constexpr const char kTimestamp[] = "timestamp";
constexpr const char kUpdateInterval[] = "update_interval";
constexpr const char kUpdateImf[] = "update_imf";
constexpr const char kUptime[] = "uptime";
constexpr const char kCpuCores[] = "cpu_cores";
constexpr const char kCpuUser[] = "cpu_user";
constexpr const char kCpuUserPrev[] = "cpu_user_prev";
constexpr const char kCpuSystem[] = "cpu_system";
constexpr const char kCpuSystemPrev[] = "cpu_system_prev";
constexpr const char kFlowCount[] = "flow_count";
constexpr const char kFlowCountPrev[] = "flow_count_prev";
constexpr const char kFlowsPurged[] = "flows_purged";
constexpr const char kFlowsExpiring[] = "flows_expiring";
constexpr const char kFlowsExpired[] = "flows_expired";
constexpr const char kFlowsActive[] = "flows_active";
constexpr const char kFlowsInUse[] = "flows_in_use";
constexpr const char kFlowsProbationExpired[] = "flows_probation_expired";
constexpr const char kFlowsEvicted[] = "flows_evicted";
constexpr const char kMaxrssKb[] = "maxrss_kb";
constexpr const char kMaxrssKbPrev[] = "maxrss_kb_prev";
constexpr const char kMemrssKb[] = "memrss_kb";
constexpr const char kMemrssKbPrev[] = "memrss_kb_prev";
constexpr const char kDhcStatus[] = "dhc_status";
constexpr const char kFhcStatus[] = "fhc_status";

}  // namespace kpp::encode::key
