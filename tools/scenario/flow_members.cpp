// The flow's member table: every member of a "flow" op and the kvFlow field it reads and writes.
#include "tools/scenario/flow_members.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "tools/scenario/member_kinds.h"

namespace replay {

namespace {

// The names after "Has" of the sixteen detail tests, in kvFlow::Detail order.
const char* const kDetailNames[kvFlow::DETAIL_COUNT] = {
    "HttpUserAgent",  "HttpURL",        "DhcpFingerprint", "DhcpClassIdent",
    "SSHClientAgent", "SSHServerAgent", "TLSClientSNI",    "TLSEncryptedCH",
    "TLSServerCN",    "TLSIssuerDN",    "TLSSubjectDN",    "TLSClientJA4",
    "BTInfoHash",     "SSDPUserAgent",  "MDNSDomainName",  "STUNAddress"};

// "has": an object of detail tests whose answer the op forces (true, false) or gives back to the
// fields (null). Never written: no document shows it.
void ReadOverrides(const Member<kvFlow>& row, const MemberReader& top, RecordPatch<kvFlow>& patch) {
  const json* object = top.ReadObject(row.key);
  if (object == nullptr) return;
  MemberReader reader(*object, top.Name(row.key) + ".");
  reader.RequireKnownBy([](const std::string& key) {
    return std::find(std::begin(kDetailNames), std::end(kDetailNames), key) !=
           std::end(kDetailNames);
  });
  for (size_t detail = 0; detail < kvFlow::DETAIL_COUNT; detail++) {
    const json* value = reader.Find(kDetailNames[detail]);
    if (value == nullptr) continue;
    int8_t answer;
    if (value->is_null()) {
      answer = -1;
    } else if (value->is_boolean()) {
      answer = value->get<bool>() ? 1 : 0;
    } else {
      throw ScenarioError("member " + Quote(reader.Name(kDetailNames[detail])) +
                          " must be a boolean or null");
    }
    patch.Set(row, [detail, answer](kvFlow& f) { f.has_override[detail] = answer; });
  }
}

using Flow = kvFlow;
using Category = kvFlow::Category;
using Tls = kvFlow::Tls;
using Stun = kvFlow::Stun;
using Gtp = kvFlow::Gtp;
using Stats = kvFlowStats;

}  // namespace

constexpr Member<Category> kCategory[] = {
    Value<&Category::application>("application"),
    Value<&Category::protocol>("protocol"),
    Value<&Category::domain>("domain"),
    Value<&Category::lower_network>("lower_network"),
    Value<&Category::upper_network>("upper_network"),
    Value<&Category::overlay>("overlay"),
};
const MemberTable<Category> kCategoryMembers = kCategory;

constexpr Member<Tls> kTls[] = {
    Value<&Tls::version>("version"),
    Value<&Tls::cipher_suite>("cipher_suite"),
    Value<&Tls::ech_version>("ech_version"),
    Value<&Tls::server_cn>("server_cn"),
    Value<&Tls::issuer_dn>("issuer_dn"),
    Value<&Tls::subject_dn>("subject_dn"),
    Value<&Tls::client_ja4>("client_ja4"),
    As<Hex, &Tls::cert_fingerprint>("cert_fingerprint"),
    Value<&Tls::alpn>("alpn"),
    Value<&Tls::alpn_server>("alpn_server"),
};
const MemberTable<Tls> kTlsMembers = kTls;

constexpr Member<Stun> kStun[] = {
    As<IpWithPort, &Stun::mapped>("mapped"),   As<IpWithPort, &Stun::peer>("peer"),
    As<IpWithPort, &Stun::relayed>("relayed"), As<IpWithPort, &Stun::response>("response"),
    As<IpWithPort, &Stun::other>("other"),
};
const MemberTable<Stun> kStunMembers = kStun;

constexpr Member<Gtp> kGtp[] = {
    Value<&Gtp::version>("version"),
    Value<&Gtp::ip_version>("ip_version"),
    Value<&Gtp::ip_dscp>("ip_dscp"),
    Value<&Gtp::lower_map>("lower_map"),
    Value<&Gtp::other_type>("other_type"),
    As<NetworkOrder, &Gtp::lower_teid>("lower_teid"),
    As<NetworkOrder, &Gtp::upper_teid>("upper_teid"),
    Endpoint<&Gtp::lower_addr>("lower_ip", "lower_port"),
    Endpoint<&Gtp::upper_addr>("upper_ip", "upper_port"),
};
const MemberTable<Gtp> kGtpMembers = kGtp;

constexpr Member<Stats> kStats[] = {
    Value<&Stats::lower_bytes>("lower_bytes"),
    Value<&Stats::upper_bytes>("upper_bytes"),
    Value<&Stats::total_bytes>("total_bytes"),
    Value<&Stats::lower_total_bytes>("lower_total_bytes"),
    Value<&Stats::upper_total_bytes>("upper_total_bytes"),
    Value<&Stats::lower_packets>("lower_packets"),
    Value<&Stats::upper_packets>("upper_packets"),
    Value<&Stats::total_packets>("total_packets"),
    Value<&Stats::lower_total_packets>("lower_total_packets"),
    Value<&Stats::upper_total_packets>("upper_total_packets"),
    Value<&Stats::detection_packets>("detection_packets"),
    Value<&Stats::lower_rate>("lower_rate"),
    Value<&Stats::upper_rate>("upper_rate"),
    Value<&Stats::ts_rate_update>("rate_update"),
    Value<&Stats::tcp_seq_errors>("tcp_seq_errors"),
    Value<&Stats::tcp_resets>("tcp_resets"),
    Value<&Stats::tcp_retrans>("tcp_retrans"),
};
const MemberTable<Stats> kFlowStatsMembers = kStats;

constexpr Member<Flow> kFlow[] = {
    Value<&Flow::digest>("digest"),
    Value<&Flow::digest_history>("digest_history"),
    Value<&Flow::ts_first_seen>("first_seen"),
    Value<&Flow::ts_last_seen>("last_seen"),
    Value<&Flow::lower_map>("lower_map"),
    Value<&Flow::other_type>("other_type"),
    Value<&Flow::tunnel_type>("tunnel_type"),
    Value<&Flow::origin>("origin"),
    Value<&Flow::privacy_mask>("privacy_mask"),
    As<Mac, &Flow::lower_mac>("lower_mac"),
    As<Mac, &Flow::upper_mac>("upper_mac"),
    Endpoint<&Flow::lower_addr>("lower_ip", "lower_port"),
    Endpoint<&Flow::upper_addr>("upper_ip", "upper_port"),
    Value<&Flow::ip_version>("ip_version"),
    Value<&Flow::ip_dscp>("ip_dscp"),
    Value<&Flow::ip_protocol>("ip_protocol"),
    Value<&Flow::vlan_id>("vlan_id"),
    Value<&Flow::ip_nat>("ip_nat"),
    Value<&Flow::dhc_hit>("dhc_hit"),
    Value<&Flow::fhc_hit>("fhc_hit"),
    Value<&Flow::soft_dissector>("soft_dissector"),
    Value<&Flow::app_ip_override>("app_ip_override"),
    Value<&Flow::app_proto_twins>("app_proto_twins"),
    Value<&Flow::detection_guessed>("detection_guessed"),
    Value<&Flow::detection_updated>("detection_updated"),
    As<BoolOrUnsigned, &Flow::tcp_closed>("tcp_closed"),
    Value<&Flow::stats_ready>("stats_ready"),
    Value<&Flow::stats_hold>("stats_hold"),
    Value<&Flow::detected_protocol>("detected_protocol"),
    Value<&Flow::detected_protocol_name>("detected_protocol_name"),
    Value<&Flow::detected_application>("detected_application"),
    Value<&Flow::detected_application_name>("detected_application_name"),
    Value<&Flow::master_protocol>("master_protocol"),
    Object<&Flow::category, kCategoryMembers>("category"),
    Value<&Flow::dns_host_name>("dns_host_name"),
    Value<&Flow::host_server_name>("host_server_name"),
    Value<&Flow::user_agent>("user_agent"),
    Value<&Flow::http_url>("http_url"),
    Value<&Flow::dhcp_fingerprint>("dhcp_fingerprint"),
    Value<&Flow::dhcp_class_ident>("dhcp_class_ident"),
    Value<&Flow::ssh_client_agent>("ssh_client_agent"),
    Value<&Flow::ssh_server_agent>("ssh_server_agent"),
    Value<&Flow::mdns_answer>("mdns_answer"),
    Object<&Flow::tls, kTlsMembers>("tls"),
    As<Hex, &Flow::bt_info_hash>("bt_info_hash"),
    Object<&Flow::stun, kStunMembers>("stun"),
    Value<&Flow::risks>("risks"),
    Value<&Flow::risk_score>("risk_score"),
    Value<&Flow::risk_score_client>("risk_score_client"),
    Value<&Flow::risk_score_server>("risk_score_server"),
    Value<&Flow::tags>("tags"),
    Object<&Flow::gtp, kGtpMembers>("gtp"),
    Object<&Flow::stats, kFlowStatsMembers>("stats"),
    Row<&Flow::has_override>("has", nullptr, &ReadOverrides, nullptr),
};
const MemberTable<Flow> kFlowMembers = kFlow;

json FlowMembers(const kvFlow& flow, const std::string& interface_key) {
  json object = WriteRecord(kFlowMembers, flow);
  object["interface"] = interface_key;
  return object;
}

}  // namespace replay
