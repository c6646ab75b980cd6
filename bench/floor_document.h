// The sample flow's full encoding built straight from literal values: the floor of the encoder.
#pragma once

#include "kv/json.h"

namespace korvel_bench {

// What kvFlow::Encode writes with flags 7 for the flow of FillSampleFlow and its SampleStats,
// member for member and with the same number types, but with no flow to read, no lock, no key
// paths and no text to make. Building it is the least any encoder of this document can cost.
inline json FloorFlowDocument() {
  json doc = json::object();
  doc["app_ip_override"] = false;
  doc["app_proto_twins"] = true;
  json& category = doc["category"];
  category["application"] = 5u;
  category["domain"] = 7u;
  category["local_network"] = 1u;
  category["other_network"] = 2u;
  category["overlay"] = 3u;
  category["protocol"] = 6u;
  doc["detected_application"] = 1000u;
  doc["detected_application_name"] = "Example Application";
  doc["detected_protocol"] = 91u;
  doc["detected_protocol_name"] = "TLS.Example";
  doc["detection_guessed"] = false;
  doc["detection_packets"] = 6u;
  doc["detection_updated"] = true;
  doc["dhc_hit"] = true;
  doc["digest"] = "0123456789abcdef";
  json& digest_prev = doc["digest_prev"];
  digest_prev.push_back("1111222233334444");
  digest_prev.push_back("0123456789abcdef");
  doc["dns_host_name"] = "www.example.com";
  doc["fhc_hit"] = false;
  doc["first_seen_at"] = 1700000000123ull;
  json& gtp = doc["gtp"];
  gtp["ip_dscp"] = 0u;
  gtp["ip_version"] = 4u;
  gtp["local_ip"] = "10.20.0.1";
  gtp["local_port"] = 2152u;
  gtp["local_teid"] = 258u;
  gtp["other_ip"] = "10.30.0.1";
  gtp["other_port"] = 2152u;
  gtp["other_teid"] = 772u;
  gtp["other_type"] = "remote";
  gtp["version"] = 1u;
  doc["host_server_name"] = "www.example.com";
  doc["ip_dscp"] = 10u;
  doc["ip_nat"] = true;
  doc["ip_protocol"] = 6u;
  doc["ip_version"] = 4u;
  doc["last_seen_at"] = 1700000009876ull;
  doc["local_bytes"] = 18250u;
  doc["local_ip"] = "192.0.2.10";
  doc["local_mac"] = "00:11:22:33:44:55";
  doc["local_origin"] = true;
  doc["local_packets"] = 84u;
  doc["local_port"] = 51000u;
  doc["local_rate"] = 1520.5;
  doc["other_bytes"] = 912340u;
  doc["other_ip"] = "198.51.100.20";
  doc["other_mac"] = "66:77:88:99:aa:bb";
  doc["other_packets"] = 702u;
  doc["other_port"] = 443u;
  doc["other_rate"] = 76028.25;
  doc["other_type"] = "remote";
  json& risks = doc["risks"];
  risks["ndpi_risk_score"] = 60u;
  risks["ndpi_risk_score_client"] = 50u;
  risks["ndpi_risk_score_server"] = 10u;
  json& risk_ids = risks["risks"];
  risk_ids.push_back(3u);
  risk_ids.push_back(15u);
  risk_ids.push_back(27u);
  doc["soft_dissector"] = false;
  json& ssl = doc["ssl"];
  json& alpn = ssl["alpn"];
  alpn.push_back("h2");
  alpn.push_back("http/1.1");
  ssl["alpn_server"].push_back("h2");
  ssl["cipher_suite"] = "0x1301";
  ssl["client_ja4"] = "t13d1516h2_8daaf6152771_e5627efa2ab1";
  ssl["client_sni"] = "www.example.com";
  ssl["fingerprint"] = "0714212e3b4855626f7c8996a3b0bdcad7e4f1fe";
  ssl["issuer_dn"] = "C=US, O=Example Trust, CN=Example Issuing CA 2";
  ssl["server_cn"] = "www.example.com";
  ssl["subject_dn"] = "C=US, O=Example Inc, CN=www.example.com";
  ssl["version"] = "0x0304";
  json& tags = doc["tags"];
  tags.push_back("cdn");
  tags.push_back("monitored");
  json& tcp = doc["tcp"];
  tcp["resets"] = 1u;
  tcp["retrans"] = 7u;
  tcp["seq_errors"] = 3u;
  doc["total_bytes"] = 930590u;
  doc["total_local_bytes"] = 20480u;
  doc["total_local_packets"] = 90u;
  doc["total_other_bytes"] = 1048576u;
  doc["total_other_packets"] = 760u;
  doc["total_packets"] = 786u;
  doc["vlan_id"] = 100u;
  return doc;
}

}  // namespace korvel_bench
