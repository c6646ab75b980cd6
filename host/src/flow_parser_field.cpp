// The name table of the filter fields.
#include "flow_parser_field.h"

namespace kvFilter {

namespace {

constexpr FieldInfo kFields[] = {
    {"ip_version", Field::IP_VERSION, FieldKind::NUMBER},
    {"ip_protocol", Field::IP_PROTOCOL, FieldKind::NUMBER},
    {"ip_dscp", Field::IP_DSCP, FieldKind::NUMBER},
    {"vlan_id", Field::VLAN_ID, FieldKind::NUMBER},
    {"local_port", Field::LOCAL_PORT, FieldKind::NUMBER},
    {"other_port", Field::OTHER_PORT, FieldKind::NUMBER},
    {"detected_protocol", Field::DETECTED_PROTOCOL, FieldKind::NUMBER},
    {"detected_application", Field::DETECTED_APPLICATION, FieldKind::NUMBER},
    {"local_ip", Field::LOCAL_IP, FieldKind::TEXT},
    {"other_ip", Field::OTHER_IP, FieldKind::TEXT},
    {"local_mac", Field::LOCAL_MAC, FieldKind::TEXT},
    {"other_mac", Field::OTHER_MAC, FieldKind::TEXT},
    {"detected_protocol_name", Field::DETECTED_PROTOCOL_NAME, FieldKind::TEXT},
    {"detected_application_name", Field::DETECTED_APPLICATION_NAME, FieldKind::TEXT},
    {"host_server_name", Field::HOST_SERVER_NAME, FieldKind::TEXT},
    {"dns_host_name", Field::DNS_HOST_NAME, FieldKind::TEXT},
    {"interface", Field::INTERFACE, FieldKind::TEXT},
};

}  // namespace

const FieldInfo* FindField(std::string_view name) {
  for (const FieldInfo& info : kFields) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

}  // namespace kvFilter
