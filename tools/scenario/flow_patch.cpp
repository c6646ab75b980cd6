// FlowPatch::Read: every member of a "flow" op, checked and turned into setters of kvFlow fields.
#include "tools/scenario/flow_patch.h"

#include <arpa/inet.h>

#include <cstdint>
#include <set>
#include <type_traits>
#include <utility>

#include "tools/scenario/address_text.h"
#include "tools/scenario/member_reader.h"

namespace replay {

namespace {

using Setters = std::vector<FlowPatch::Setter>;
using Preconditions = std::vector<FlowPatch::Precondition>;

// Reads an unsigned member into the field `access` returns, range-checked for the field's type.
template <typename Access>
void AddUnsigned(const MemberReader& reader, const char* key, Access access, Setters& setters) {
  using Field = std::remove_reference_t<decltype(access(std::declval<kvFlow&>()))>;
  using Value = std::conditional_t<std::is_enum<Field>::value, std::underlying_type<Field>,
                                   std::common_type<Field>>;
  typename Value::type value{};
  if (reader.ReadUnsigned(key, value)) {
    setters.push_back([value, access](kvFlow& flow) { access(flow) = static_cast<Field>(value); });
  }
}

template <typename Access>
void AddBool(const MemberReader& reader, const char* key, Access access, Setters& setters) {
  bool value = false;
  if (reader.ReadBool(key, value)) {
    setters.push_back([value, access](kvFlow& flow) { access(flow) = value; });
  }
}

template <typename Access>
void AddString(const MemberReader& reader, const char* key, Access access, Setters& setters) {
  std::string value;
  if (reader.ReadString(key, value)) {
    setters.push_back([value = std::move(value), access](kvFlow& flow) { access(flow) = value; });
  }
}

template <typename Access>
void AddStrings(const MemberReader& reader, const char* key, Access access, Setters& setters) {
  std::vector<std::string> values;
  if (reader.ReadStrings(key, values)) {
    setters.push_back(
        [values = std::move(values), access](kvFlow& flow) { access(flow) = values; });
  }
}

template <typename Access>
void AddFloat(const MemberReader& reader, const char* key, Access access, Setters& setters) {
  float value = 0.0f;
  if (reader.ReadFloat(key, value)) {
    setters.push_back([value, access](kvFlow& flow) { access(flow) = value; });
  }
}

template <typename Access>
void AddHex(const MemberReader& reader, const char* key, Access access, Setters& setters) {
  std::string text;
  if (reader.ReadString(key, text)) {
    std::vector<uint8_t> bytes = ParseHexBytes(text, reader.Name(key));
    setters.push_back([bytes = std::move(bytes), access](kvFlow& flow) { access(flow) = bytes; });
  }
}

template <typename Access>
void AddAddress(const MemberReader& reader, const char* key, AddressKind kind, Access access,
                Setters& setters) {
  std::string text;
  if (reader.ReadString(key, text)) {
    kvAddr addr;
    ParseAddress(text, kind, reader.Name(key), addr);
    setters.push_back([addr, access](kvFlow& flow) { access(flow) = addr; });
  }
}

// An IP address member and its port member. The port applies to the address given in the same
// op, or else to the one the flow holds, which must then be an IP address.
template <typename Access>
void AddEndpoint(const MemberReader& reader, const char* ip_key, const char* port_key,
                 Access access, Setters& setters, Preconditions& checks) {
  std::string text;
  const bool has_ip = reader.ReadString(ip_key, text);
  kvAddr addr;
  if (has_ip) ParseAddress(text, AddressKind::kIp, reader.Name(ip_key), addr);

  uint16_t port = 0;
  const bool has_port = reader.ReadUnsigned(port_key, port);
  const std::string problem = "member " + Quote(reader.Name(port_key)) +
                              " needs an IP address in " + Quote(reader.Name(ip_key));
  if (has_port && has_ip && !SetPort(addr, port)) throw ScenarioError(problem);

  if (has_ip) {
    setters.push_back([addr, access](kvFlow& flow) { access(flow) = addr; });
  } else if (has_port) {
    checks.push_back([problem, access](const kvFlow& flow) {
      kvAddr probe(access(flow));
      if (!SetPort(probe, 0)) throw ScenarioError(problem);
    });
    setters.push_back([port, access](kvFlow& flow) { SetPort(access(flow), port); });
  }
}

const char* const kFlowMembers[] = {"op",
                                    "id",
                                    "interface",
                                    "digest",
                                    "digest_history",
                                    "first_seen",
                                    "last_seen",
                                    "lower_map",
                                    "other_type",
                                    "tunnel_type",
                                    "origin",
                                    "privacy_mask",
                                    "lower_mac",
                                    "upper_mac",
                                    "lower_ip",
                                    "upper_ip",
                                    "lower_port",
                                    "upper_port",
                                    "ip_version",
                                    "ip_dscp",
                                    "ip_protocol",
                                    "vlan_id",
                                    "ip_nat",
                                    "dhc_hit",
                                    "fhc_hit",
                                    "soft_dissector",
                                    "app_ip_override",
                                    "app_proto_twins",
                                    "detection_guessed",
                                    "detection_updated",
                                    "tcp_closed",
                                    "stats_ready",
                                    "stats_hold",
                                    "detected_protocol",
                                    "detected_protocol_name",
                                    "detected_application",
                                    "detected_application_name",
                                    "master_protocol",
                                    "category",
                                    "dns_host_name",
                                    "host_server_name",
                                    "user_agent",
                                    "http_url",
                                    "dhcp_fingerprint",
                                    "dhcp_class_ident",
                                    "ssh_client_agent",
                                    "ssh_server_agent",
                                    "mdns_answer",
                                    "tls",
                                    "bt_info_hash",
                                    "stun",
                                    "risks",
                                    "risk_score",
                                    "risk_score_client",
                                    "risk_score_server",
                                    "tags",
                                    "gtp",
                                    "stats",
                                    "has"};

// The names after "Has" of the sixteen detail tests, in kvFlow::Detail order.
const char* const kDetailNames[kvFlow::DETAIL_COUNT] = {
    "HttpUserAgent",  "HttpURL",        "DhcpFingerprint", "DhcpClassIdent",
    "SSHClientAgent", "SSHServerAgent", "TLSClientSNI",    "TLSEncryptedCH",
    "TLSServerCN",    "TLSIssuerDN",    "TLSSubjectDN",    "TLSClientJA4",
    "BTInfoHash",     "SSDPUserAgent",  "MDNSDomainName",  "STUNAddress"};

std::vector<std::string> Names(const char* const* names, size_t count) {
  return std::vector<std::string>(names, names + count);
}

void ReadCategory(const MemberReader& top, Setters& setters) {
  const json* object = top.ReadObject("category");
  if (object == nullptr) return;
  MemberReader reader(*object, "category.");
  reader.RequireKnown(
      {"application", "protocol", "domain", "lower_network", "upper_network", "overlay"});
  AddUnsigned(
      reader, "application", [](auto& f) -> auto& { return f.category.application; }, setters);
  AddUnsigned(
      reader, "protocol", [](auto& f) -> auto& { return f.category.protocol; }, setters);
  AddUnsigned(
      reader, "domain", [](auto& f) -> auto& { return f.category.domain; }, setters);
  AddUnsigned(
      reader, "lower_network", [](auto& f) -> auto& { return f.category.lower_network; }, setters);
  AddUnsigned(
      reader, "upper_network", [](auto& f) -> auto& { return f.category.upper_network; }, setters);
  AddUnsigned(
      reader, "overlay", [](auto& f) -> auto& { return f.category.overlay; }, setters);
}

void ReadTls(const MemberReader& top, Setters& setters) {
  const json* object = top.ReadObject("tls");
  if (object == nullptr) return;
  MemberReader reader(*object, "tls.");
  reader.RequireKnown({"version", "cipher_suite", "ech_version", "server_cn", "issuer_dn",
                       "subject_dn", "client_ja4", "cert_fingerprint", "alpn", "alpn_server"});
  AddUnsigned(
      reader, "version", [](auto& f) -> auto& { return f.tls.version; }, setters);
  AddUnsigned(
      reader, "cipher_suite", [](auto& f) -> auto& { return f.tls.cipher_suite; }, setters);
  AddUnsigned(
      reader, "ech_version", [](auto& f) -> auto& { return f.tls.ech_version; }, setters);
  AddString(
      reader, "server_cn", [](auto& f) -> auto& { return f.tls.server_cn; }, setters);
  AddString(
      reader, "issuer_dn", [](auto& f) -> auto& { return f.tls.issuer_dn; }, setters);
  AddString(
      reader, "subject_dn", [](auto& f) -> auto& { return f.tls.subject_dn; }, setters);
  AddString(
      reader, "client_ja4", [](auto& f) -> auto& { return f.tls.client_ja4; }, setters);
  AddHex(
      reader, "cert_fingerprint", [](auto& f) -> auto& { return f.tls.cert_fingerprint; }, setters);
  AddStrings(
      reader, "alpn", [](auto& f) -> auto& { return f.tls.alpn; }, setters);
  AddStrings(
      reader, "alpn_server", [](auto& f) -> auto& { return f.tls.alpn_server; }, setters);
}

void ReadStun(const MemberReader& top, Setters& setters) {
  const json* object = top.ReadObject("stun");
  if (object == nullptr) return;
  MemberReader reader(*object, "stun.");
  reader.RequireKnown({"mapped", "peer", "relayed", "response", "other"});
  const AddressKind ip = AddressKind::kIp;
  AddAddress(
      reader, "mapped", ip, [](auto& f) -> auto& { return f.stun.mapped; }, setters);
  AddAddress(
      reader, "peer", ip, [](auto& f) -> auto& { return f.stun.peer; }, setters);
  AddAddress(
      reader, "relayed", ip, [](auto& f) -> auto& { return f.stun.relayed; }, setters);
  AddAddress(
      reader, "response", ip, [](auto& f) -> auto& { return f.stun.response; }, setters);
  AddAddress(
      reader, "other", ip, [](auto& f) -> auto& { return f.stun.other; }, setters);
}

void ReadGtp(const MemberReader& top, Setters& setters, Preconditions& checks) {
  const json* object = top.ReadObject("gtp");
  if (object == nullptr) return;
  MemberReader reader(*object, "gtp.");
  reader.RequireKnown({"version", "ip_version", "ip_dscp", "lower_map", "other_type", "lower_teid",
                       "upper_teid", "lower_ip", "upper_ip", "lower_port", "upper_port"});
  AddUnsigned(
      reader, "version", [](auto& f) -> auto& { return f.gtp.version; }, setters);
  AddUnsigned(
      reader, "ip_version", [](auto& f) -> auto& { return f.gtp.ip_version; }, setters);
  AddUnsigned(
      reader, "ip_dscp", [](auto& f) -> auto& { return f.gtp.ip_dscp; }, setters);
  AddUnsigned(
      reader, "lower_map", [](auto& f) -> auto& { return f.gtp.lower_map; }, setters);
  AddUnsigned(
      reader, "other_type", [](auto& f) -> auto& { return f.gtp.other_type; }, setters);
  // The scenario gives the identifiers as numbers; the daemon keeps them in network order.
  uint32_t teid = 0;
  if (reader.ReadUnsigned("lower_teid", teid)) {
    setters.push_back([teid](kvFlow& f) { f.gtp.lower_teid = htonl(teid); });
  }
  if (reader.ReadUnsigned("upper_teid", teid)) {
    setters.push_back([teid](kvFlow& f) { f.gtp.upper_teid = htonl(teid); });
  }
  AddEndpoint(
      reader, "lower_ip", "lower_port", [](auto& f) -> auto& { return f.gtp.lower_addr; }, setters,
      checks);
  AddEndpoint(
      reader, "upper_ip", "upper_port", [](auto& f) -> auto& { return f.gtp.upper_addr; }, setters,
      checks);
}

void ReadStats(const MemberReader& top, Setters& setters) {
  const json* object = top.ReadObject("stats");
  if (object == nullptr) return;
  MemberReader reader(*object, "stats.");
  reader.RequireKnown({"lower_bytes", "upper_bytes", "total_bytes", "lower_total_bytes",
                       "upper_total_bytes", "lower_packets", "upper_packets", "total_packets",
                       "lower_total_packets", "upper_total_packets", "detection_packets",
                       "lower_rate", "upper_rate", "rate_update", "tcp_seq_errors", "tcp_resets",
                       "tcp_retrans"});
  AddUnsigned(
      reader, "lower_bytes", [](auto& f) -> auto& { return f.stats.lower_bytes; }, setters);
  AddUnsigned(
      reader, "upper_bytes", [](auto& f) -> auto& { return f.stats.upper_bytes; }, setters);
  AddUnsigned(
      reader, "total_bytes", [](auto& f) -> auto& { return f.stats.total_bytes; }, setters);
  AddUnsigned(
      reader, "lower_total_bytes", [](auto& f) -> auto& { return f.stats.lower_total_bytes; },
      setters);
  AddUnsigned(
      reader, "upper_total_bytes", [](auto& f) -> auto& { return f.stats.upper_total_bytes; },
      setters);
  AddUnsigned(
      reader, "lower_packets", [](auto& f) -> auto& { return f.stats.lower_packets; }, setters);
  AddUnsigned(
      reader, "upper_packets", [](auto& f) -> auto& { return f.stats.upper_packets; }, setters);
  AddUnsigned(
      reader, "total_packets", [](auto& f) -> auto& { return f.stats.total_packets; }, setters);
  AddUnsigned(
      reader, "lower_total_packets", [](auto& f) -> auto& { return f.stats.lower_total_packets; },
      setters);
  AddUnsigned(
      reader, "upper_total_packets", [](auto& f) -> auto& { return f.stats.upper_total_packets; },
      setters);
  AddUnsigned(
      reader, "detection_packets", [](auto& f) -> auto& { return f.stats.detection_packets; },
      setters);
  AddFloat(
      reader, "lower_rate", [](auto& f) -> auto& { return f.stats.lower_rate; }, setters);
  AddFloat(
      reader, "upper_rate", [](auto& f) -> auto& { return f.stats.upper_rate; }, setters);
  AddUnsigned(
      reader, "rate_update", [](auto& f) -> auto& { return f.stats.ts_rate_update; }, setters);
  AddUnsigned(
      reader, "tcp_seq_errors", [](auto& f) -> auto& { return f.stats.tcp_seq_errors; }, setters);
  AddUnsigned(
      reader, "tcp_resets", [](auto& f) -> auto& { return f.stats.tcp_resets; }, setters);
  AddUnsigned(
      reader, "tcp_retrans", [](auto& f) -> auto& { return f.stats.tcp_retrans; }, setters);
}

void ReadHas(const MemberReader& top, Setters& setters) {
  const json* object = top.ReadObject("has");
  if (object == nullptr) return;
  MemberReader reader(*object, "has.");
  reader.RequireKnown(Names(kDetailNames, kvFlow::DETAIL_COUNT));
  for (size_t detail = 0; detail < kvFlow::DETAIL_COUNT; detail++) {
    const json* value = reader.Find(kDetailNames[detail]);
    if (value == nullptr) continue;
    int8_t answer;
    if (value->is_null()) {
      answer = -1;  // answer from the fields again
    } else if (value->is_boolean()) {
      answer = value->get<bool>() ? 1 : 0;
    } else {
      throw ScenarioError("member " + Quote(reader.Name(kDetailNames[detail])) +
                          " must be a boolean or null");
    }
    setters.push_back([detail, answer](kvFlow& f) { f.has_override[detail] = answer; });
  }
}

void ReadTcpClosed(const MemberReader& reader, Setters& setters) {
  const json* value = reader.Find("tcp_closed");
  if (value == nullptr) return;
  uint8_t closed;
  if (value->is_boolean()) {
    closed = value->get<bool>() ? 1 : 0;
  } else if (value->is_number_unsigned()) {
    closed = static_cast<uint8_t>(UnsignedValue(*value, "tcp_closed", UINT8_MAX));
  } else {
    throw ScenarioError("member \"tcp_closed\" must be a boolean or an unsigned integer");
  }
  setters.push_back([closed](kvFlow& f) { f.tcp_closed = closed; });
}

void ReadRisks(const MemberReader& reader, Setters& setters) {
  std::vector<uint32_t> values;
  if (!reader.ReadUnsignedList("risks", values)) return;
  std::set<kvRisk::Id> risks;
  for (uint32_t value : values) risks.insert(static_cast<kvRisk::Id>(value));
  setters.push_back([risks = std::move(risks)](kvFlow& f) { f.risks = risks; });
}

void ReadTags(const MemberReader& reader, Setters& setters) {
  std::vector<std::string> values;
  if (!reader.ReadStrings("tags", values)) return;
  std::set<std::string> tags(values.begin(), values.end());
  setters.push_back([tags = std::move(tags)](kvFlow& f) { f.tags = tags; });
}

}  // namespace

FlowPatch FlowPatch::Read(const json& object) {
  FlowPatch patch;
  MemberReader reader(object, "");
  reader.RequireKnown(Names(kFlowMembers, sizeof(kFlowMembers) / sizeof(kFlowMembers[0])));
  Setters& s = patch.setters;

  patch.has_interface = reader.ReadString("interface", patch.interface_key);

  AddUnsigned(
      reader, "digest", [](auto& f) -> auto& { return f.digest; }, s);
  std::vector<uint64_t> history;
  if (reader.ReadUnsignedList("digest_history", history)) {
    s.push_back([history = std::move(history)](kvFlow& f) { f.digest_history = history; });
  }
  AddUnsigned(
      reader, "first_seen", [](auto& f) -> auto& { return f.ts_first_seen; }, s);
  AddUnsigned(
      reader, "last_seen", [](auto& f) -> auto& { return f.ts_last_seen; }, s);
  AddUnsigned(
      reader, "lower_map", [](auto& f) -> auto& { return f.lower_map; }, s);
  AddUnsigned(
      reader, "other_type", [](auto& f) -> auto& { return f.other_type; }, s);
  AddUnsigned(
      reader, "tunnel_type", [](auto& f) -> auto& { return f.tunnel_type; }, s);
  AddUnsigned(
      reader, "origin", [](auto& f) -> auto& { return f.origin; }, s);
  AddUnsigned(
      reader, "privacy_mask", [](auto& f) -> auto& { return f.privacy_mask; }, s);
  AddAddress(
      reader, "lower_mac", AddressKind::kMac, [](auto& f) -> auto& { return f.lower_mac; }, s);
  AddAddress(
      reader, "upper_mac", AddressKind::kMac, [](auto& f) -> auto& { return f.upper_mac; }, s);
  AddEndpoint(
      reader, "lower_ip", "lower_port", [](auto& f) -> auto& { return f.lower_addr; }, s,
      patch.checks);
  AddEndpoint(
      reader, "upper_ip", "upper_port", [](auto& f) -> auto& { return f.upper_addr; }, s,
      patch.checks);
  AddUnsigned(
      reader, "ip_version", [](auto& f) -> auto& { return f.ip_version; }, s);
  AddUnsigned(
      reader, "ip_dscp", [](auto& f) -> auto& { return f.ip_dscp; }, s);
  AddUnsigned(
      reader, "ip_protocol", [](auto& f) -> auto& { return f.ip_protocol; }, s);
  AddUnsigned(
      reader, "vlan_id", [](auto& f) -> auto& { return f.vlan_id; }, s);
  AddBool(
      reader, "ip_nat", [](auto& f) -> auto& { return f.ip_nat; }, s);
  AddBool(
      reader, "dhc_hit", [](auto& f) -> auto& { return f.dhc_hit; }, s);
  AddBool(
      reader, "fhc_hit", [](auto& f) -> auto& { return f.fhc_hit; }, s);
  AddBool(
      reader, "soft_dissector", [](auto& f) -> auto& { return f.soft_dissector; }, s);
  AddBool(
      reader, "app_ip_override", [](auto& f) -> auto& { return f.app_ip_override; }, s);
  AddBool(
      reader, "app_proto_twins", [](auto& f) -> auto& { return f.app_proto_twins; }, s);
  AddBool(
      reader, "detection_guessed", [](auto& f) -> auto& { return f.detection_guessed; }, s);
  AddBool(
      reader, "detection_updated", [](auto& f) -> auto& { return f.detection_updated; }, s);
  ReadTcpClosed(reader, s);
  AddBool(
      reader, "stats_ready", [](auto& f) -> auto& { return f.stats_ready; }, s);
  AddBool(
      reader, "stats_hold", [](auto& f) -> auto& { return f.stats_hold; }, s);
  AddUnsigned(
      reader, "detected_protocol", [](auto& f) -> auto& { return f.detected_protocol; }, s);
  AddString(
      reader, "detected_protocol_name", [](auto& f) -> auto& { return f.detected_protocol_name; },
      s);
  AddUnsigned(
      reader, "detected_application", [](auto& f) -> auto& { return f.detected_application; }, s);
  AddString(
      reader, "detected_application_name",
      [](auto& f) -> auto& { return f.detected_application_name; }, s);
  AddUnsigned(
      reader, "master_protocol", [](auto& f) -> auto& { return f.master_protocol; }, s);
  ReadCategory(reader, s);
  AddString(
      reader, "dns_host_name", [](auto& f) -> auto& { return f.dns_host_name; }, s);
  AddString(
      reader, "host_server_name", [](auto& f) -> auto& { return f.host_server_name; }, s);
  AddString(
      reader, "user_agent", [](auto& f) -> auto& { return f.user_agent; }, s);
  AddString(
      reader, "http_url", [](auto& f) -> auto& { return f.http_url; }, s);
  AddString(
      reader, "dhcp_fingerprint", [](auto& f) -> auto& { return f.dhcp_fingerprint; }, s);
  AddString(
      reader, "dhcp_class_ident", [](auto& f) -> auto& { return f.dhcp_class_ident; }, s);
  AddString(
      reader, "ssh_client_agent", [](auto& f) -> auto& { return f.ssh_client_agent; }, s);
  AddString(
      reader, "ssh_server_agent", [](auto& f) -> auto& { return f.ssh_server_agent; }, s);
  AddString(
      reader, "mdns_answer", [](auto& f) -> auto& { return f.mdns_answer; }, s);
  ReadTls(reader, s);
  AddHex(
      reader, "bt_info_hash", [](auto& f) -> auto& { return f.bt_info_hash; }, s);
  ReadStun(reader, s);
  ReadRisks(reader, s);
  AddUnsigned(
      reader, "risk_score", [](auto& f) -> auto& { return f.risk_score; }, s);
  AddUnsigned(
      reader, "risk_score_client", [](auto& f) -> auto& { return f.risk_score_client; }, s);
  AddUnsigned(
      reader, "risk_score_server", [](auto& f) -> auto& { return f.risk_score_server; }, s);
  ReadTags(reader, s);
  ReadGtp(reader, s, patch.checks);
  ReadStats(reader, s);
  ReadHas(reader, s);
  return patch;
}

void FlowPatch::Check(const kvFlow& flow) const {
  for (const Precondition& check : checks) check(flow);
}

void FlowPatch::Apply(kvFlow& flow) const {
  for (const Setter& setter : setters) setter(flow);
}

}  // namespace replay
