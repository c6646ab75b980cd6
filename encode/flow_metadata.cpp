// EncodeFlowMetadata: the metadata section of a flow's encoding, endpoint keys chosen by lower-map.
#include "encode/flow_sections.h"
#include "encode/keys.h"
#include "encode/texts.h"
#include "kv/global_config.h"

namespace kpp::encode {

namespace {

using Path = kvSerializer::Path;

// The keys of one side of the flow, local or other.
struct SidePaths {
  Path mac;
  Path ip;
  Path port;
  Path network;  // inside "category"
};

struct MetadataPaths {
  Path ip_nat{"ip_nat"};
  Path dhc_hit{"dhc_hit"};
  Path fhc_hit{"fhc_hit"};
  Path soft_dissector{"soft_dissector"};
  Path app_ip_override{"app_ip_override"};
  Path app_proto_twins{"app_proto_twins"};
  Path ip_version{key::kIpVersion};
  Path ip_dscp{key::kIpDscp};
  Path ip_protocol{"ip_protocol"};
  Path vlan_id{"vlan_id"};
  Path other_type{key::kOtherType};
  Path local_origin{"local_origin"};
  SidePaths local{
      {"local_mac"}, {key::kLocalIp}, {key::kLocalPort}, {key::kCategory, "local_network"}};
  SidePaths other{
      {"other_mac"}, {key::kOtherIp}, {key::kOtherPort}, {key::kCategory, "other_network"}};
  Path detected_protocol{"detected_protocol"};
  Path detected_protocol_name{"detected_protocol_name"};
  Path detected_application{"detected_application"};
  Path detected_application_name{"detected_application_name"};
  Path detection_guessed{"detection_guessed"};
  Path detection_updated{"detection_updated"};
  Path category_application{key::kCategory, "application"};
  Path category_protocol{key::kCategory, "protocol"};
  Path category_domain{key::kCategory, "domain"};
  Path category_overlay{key::kCategory, "overlay"};
  Path first_seen_at{"first_seen_at"};
};

const MetadataPaths& Paths() {
  static const MetadataPaths paths;
  return paths;
}

const char* OtherTypeText(uint8_t other_type) {
  return other_type < text::kFlowOtherTypeCount ? text::kFlowOtherTypes[other_type]
                                                : text::kFlowOtherTypeDefault;
}

// A hardware address: the mask text when hidden, else its text, else the all-zero text.
void WriteMac(const kvFlow& flow, json& j, const Path& path, const kvAddr& mac, bool masked,
              const char* mask) {
  if (masked) {
    flow.serialize(j, path, mask);
  } else if (mac.HasAddress()) {
    flow.serialize(j, path, mac.GetString(kvAddr::MAKE_DEFAULT));
  } else {
    flow.serialize(j, path, text::kNoMac);
  }
}

// An IP address: the mask text when hidden, else its text (nothing when it has none).
void WriteIp(const kvFlow& flow, json& j, const Path& path, const kvAddr& addr, bool masked,
             const char* mask) {
  if (masked) {
    flow.serialize(j, path, mask);
  } else {
    flow.serialize(j, path, addr.GetString(kvAddr::MAKE_DEFAULT));
  }
}

void WriteName(const kvFlow& flow, json& j, const Path& path, const std::string& name) {
  if (name.empty()) {
    flow.serialize(j, path, text::kUnknownName);
  } else {
    flow.serialize(j, path, name);
  }
}

}  // namespace

void EncodeFlowMetadata(const kvFlow& flow, json& j, bool lower_is_local) {
  const MetadataPaths& paths = Paths();
  const SidePaths& lower = lower_is_local ? paths.local : paths.other;
  const SidePaths& upper = lower_is_local ? paths.other : paths.local;

  flow.serialize(j, paths.ip_nat, flow.ip_nat);
  if (kvGlobalConfig::GetInstance().IsEnabled(kvGlobalConfig::OPTION_DHC)) {
    flow.serialize(j, paths.dhc_hit, flow.dhc_hit);
  }
  if (kvGlobalConfig::GetInstance().IsEnabled(kvGlobalConfig::OPTION_FHC)) {
    flow.serialize(j, paths.fhc_hit, flow.fhc_hit);
  }
  flow.serialize(j, paths.soft_dissector, flow.soft_dissector);
  flow.serialize(j, paths.app_ip_override, flow.app_ip_override);
  flow.serialize(j, paths.app_proto_twins, flow.app_proto_twins);
  flow.serialize(j, paths.ip_version, flow.ip_version);
  flow.serialize(j, paths.ip_dscp, flow.ip_dscp);
  flow.serialize(j, paths.ip_protocol, flow.ip_protocol);
  flow.serialize(j, paths.vlan_id, flow.vlan_id);
  flow.serialize(j, paths.other_type, OtherTypeText(flow.other_type));

  const bool upper_originated = flow.origin == kvFlow::ORIGIN_UPPER;
  flow.serialize(j, paths.local_origin, upper_originated ? !lower_is_local : lower_is_local);

  const uint8_t mask = flow.privacy_mask;
  WriteMac(flow, j, lower.mac, flow.lower_mac, (mask & kvFlow::PRIVATE_LOWER_MAC) != 0,
           text::kMaskedLowerMac);
  WriteMac(flow, j, upper.mac, flow.upper_mac, (mask & kvFlow::PRIVATE_UPPER_MAC) != 0,
           text::kMaskedUpperMac);
  const bool ipv4 = flow.ip_version == text::kIPv4;
  WriteIp(flow, j, lower.ip, flow.lower_addr, (mask & kvFlow::PRIVATE_LOWER_IP) != 0,
          ipv4 ? text::kMaskedLowerIPv4 : text::kMaskedLowerIPv6);
  WriteIp(flow, j, upper.ip, flow.upper_addr, (mask & kvFlow::PRIVATE_UPPER_IP) != 0,
          ipv4 ? text::kMaskedUpperIPv4 : text::kMaskedUpperIPv6);
  flow.serialize(j, lower.port, static_cast<unsigned short>(flow.lower_addr.GetPort(true)));
  flow.serialize(j, upper.port, static_cast<unsigned short>(flow.upper_addr.GetPort(true)));

  flow.serialize(j, paths.detected_protocol, static_cast<unsigned int>(flow.detected_protocol));
  WriteName(flow, j, paths.detected_protocol_name, flow.detected_protocol_name);
  flow.serialize(j, paths.detected_application,
                 static_cast<unsigned int>(flow.detected_application));
  WriteName(flow, j, paths.detected_application_name, flow.detected_application_name);
  flow.serialize(j, paths.detection_guessed, flow.detection_guessed);
  flow.serialize(j, paths.detection_updated, flow.detection_updated);

  const kvFlow::Category& category = flow.category;
  flow.serialize(j, paths.category_application, static_cast<unsigned int>(category.application));
  flow.serialize(j, paths.category_protocol, static_cast<unsigned int>(category.protocol));
  flow.serialize(j, paths.category_domain, static_cast<unsigned int>(category.domain));
  flow.serialize(j, lower.network, static_cast<unsigned int>(category.lower_network));
  flow.serialize(j, upper.network, static_cast<unsigned int>(category.upper_network));
  flow.serialize(j, paths.category_overlay, static_cast<unsigned int>(category.overlay));

  EncodeFlowDetails(flow, j);
  flow.serialize(j, paths.first_seen_at, static_cast<unsigned long>(flow.ts_first_seen));
  EncodeFlowRisks(flow, j);
}

}  // namespace kpp::encode
