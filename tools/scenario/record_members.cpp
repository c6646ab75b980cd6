// FlowMembers and InterfaceMembers: kvFlow and kvInterface fields written as scenario members.
#include "tools/scenario/record_members.h"

#include <arpa/inet.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace replay {

namespace {

std::string Text(const kvAddr& addr) {
  std::string text;
  if (addr.HasAddress()) kvAddr::MakeString(addr, text, kvAddr::MAKE_DEFAULT);
  return text;
}

std::string TextWithPort(const kvAddr& addr) {
  std::string text;
  if (addr.HasAddress()) kvAddr::MakeString(addr, text, kvAddr::MAKE_WITH_PORT);
  return text;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0f]);
  }
  return text;
}

// An IP member and, when it holds an address, its port member.
void PutEndpoint(json& object, const char* ip_key, const char* port_key, const kvAddr& addr) {
  object[ip_key] = Text(addr);
  if (addr.Family() == AF_INET || addr.Family() == AF_INET6) object[port_key] = addr.GetPort(true);
}

json SortedTexts(const kvInterfaceAddr& set) {
  std::vector<std::string> texts;
  {
    std::lock_guard<std::mutex> guard(set.lock);
    for (const kvAddr& addr : set.addrs) texts.push_back(Text(addr));
  }
  std::sort(texts.begin(), texts.end());
  return texts;
}

}  // namespace

json FlowMembers(const kvFlow& f, const std::string& interface_key) {
  json o = json::object();
  o["interface"] = interface_key;
  o["digest"] = f.digest;
  o["digest_history"] = f.digest_history;
  o["first_seen"] = f.ts_first_seen;
  o["last_seen"] = f.ts_last_seen;
  o["lower_map"] = f.lower_map;
  o["other_type"] = f.other_type;
  o["tunnel_type"] = f.tunnel_type;
  o["origin"] = f.origin;
  o["privacy_mask"] = f.privacy_mask;
  o["lower_mac"] = Text(f.lower_mac);
  o["upper_mac"] = Text(f.upper_mac);
  PutEndpoint(o, "lower_ip", "lower_port", f.lower_addr);
  PutEndpoint(o, "upper_ip", "upper_port", f.upper_addr);
  o["ip_version"] = f.ip_version;
  o["ip_dscp"] = f.ip_dscp;
  o["ip_protocol"] = f.ip_protocol;
  o["vlan_id"] = f.vlan_id;
  o["ip_nat"] = f.ip_nat;
  o["dhc_hit"] = f.dhc_hit;
  o["fhc_hit"] = f.fhc_hit;
  o["soft_dissector"] = f.soft_dissector;
  o["app_ip_override"] = f.app_ip_override;
  o["app_proto_twins"] = f.app_proto_twins;
  o["detection_guessed"] = f.detection_guessed;
  o["detection_updated"] = f.detection_updated;
  o["tcp_closed"] = f.tcp_closed;
  o["stats_ready"] = f.stats_ready;
  o["stats_hold"] = f.stats_hold;
  o["detected_protocol"] = static_cast<uint32_t>(f.detected_protocol);
  o["detected_protocol_name"] = f.detected_protocol_name;
  o["detected_application"] = f.detected_application;
  o["detected_application_name"] = f.detected_application_name;
  o["master_protocol"] = static_cast<uint32_t>(f.master_protocol);
  o["category"] = {{"application", f.category.application},
                   {"protocol", f.category.protocol},
                   {"domain", f.category.domain},
                   {"lower_network", f.category.lower_network},
                   {"upper_network", f.category.upper_network},
                   {"overlay", f.category.overlay}};
  o["dns_host_name"] = f.dns_host_name;
  o["host_server_name"] = f.host_server_name;
  o["user_agent"] = f.user_agent;
  o["http_url"] = f.http_url;
  o["dhcp_fingerprint"] = f.dhcp_fingerprint;
  o["dhcp_class_ident"] = f.dhcp_class_ident;
  o["ssh_client_agent"] = f.ssh_client_agent;
  o["ssh_server_agent"] = f.ssh_server_agent;
  o["mdns_answer"] = f.mdns_answer;
  o["tls"] = {{"version", f.tls.version},
              {"cipher_suite", f.tls.cipher_suite},
              {"ech_version", f.tls.ech_version},
              {"server_cn", f.tls.server_cn},
              {"issuer_dn", f.tls.issuer_dn},
              {"subject_dn", f.tls.subject_dn},
              {"client_ja4", f.tls.client_ja4},
              {"cert_fingerprint", Hex(f.tls.cert_fingerprint)},
              {"alpn", f.tls.alpn},
              {"alpn_server", f.tls.alpn_server}};
  o["bt_info_hash"] = Hex(f.bt_info_hash);
  o["stun"] = {{"mapped", TextWithPort(f.stun.mapped)},
               {"peer", TextWithPort(f.stun.peer)},
               {"relayed", TextWithPort(f.stun.relayed)},
               {"response", TextWithPort(f.stun.response)},
               {"other", TextWithPort(f.stun.other)}};
  json risks = json::array();
  for (kvRisk::Id risk : f.risks) risks.push_back(static_cast<uint32_t>(risk));
  o["risks"] = std::move(risks);
  o["risk_score"] = f.risk_score;
  o["risk_score_client"] = f.risk_score_client;
  o["risk_score_server"] = f.risk_score_server;
  o["tags"] = f.tags;
  json gtp = {{"version", f.gtp.version},
              {"ip_version", f.gtp.ip_version},
              {"ip_dscp", f.gtp.ip_dscp},
              {"lower_map", f.gtp.lower_map},
              {"other_type", f.gtp.other_type},
              {"lower_teid", ntohl(f.gtp.lower_teid)},
              {"upper_teid", ntohl(f.gtp.upper_teid)}};
  PutEndpoint(gtp, "lower_ip", "lower_port", f.gtp.lower_addr);
  PutEndpoint(gtp, "upper_ip", "upper_port", f.gtp.upper_addr);
  o["gtp"] = std::move(gtp);
  const kvFlowStats& s = f.stats;
  o["stats"] = {{"lower_bytes", s.lower_bytes},
                {"upper_bytes", s.upper_bytes},
                {"total_bytes", s.total_bytes},
                {"lower_total_bytes", s.lower_total_bytes},
                {"upper_total_bytes", s.upper_total_bytes},
                {"lower_packets", s.lower_packets},
                {"upper_packets", s.upper_packets},
                {"total_packets", s.total_packets},
                {"lower_total_packets", s.lower_total_packets},
                {"upper_total_packets", s.upper_total_packets},
                {"detection_packets", s.detection_packets},
                {"lower_rate", s.lower_rate},
                {"upper_rate", s.upper_rate},
                {"rate_update", s.ts_rate_update},
                {"tcp_seq_errors", s.tcp_seq_errors},
                {"tcp_resets", s.tcp_resets},
                {"tcp_retrans", s.tcp_retrans}};
  return o;
}

json InterfaceIdentityMembers(const kvInterface& iface) {
  return {{"name", iface.name},
          {"role", iface.role},
          {"capture_type", iface.capture_type},
          {"capture_file", iface.capture_file},
          {"addrs", SortedTexts(iface.addrs)}};
}

json InterfaceTableMembers(const kvInterface& iface) {
  std::lock_guard<std::mutex> guard(iface.endpoint_lock);
  json tables = json::array();
  for (const kvInterface::EndpointTable& table : iface.endpoints) {
    json members = json::object();
    for (const auto& entry : table) members[Text(entry.first)] = SortedTexts(entry.second);
    tables.push_back(std::move(members));
  }
  return {{"endpoints", std::move(tables)}, {"endpoint_selector", iface.endpoint_selector}};
}

}  // namespace replay
