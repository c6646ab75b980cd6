// The flow fields a filter expression can name, with their kinds, and the lookup by name.
#pragma once

#include <cstdint>
#include <string_view>

namespace kvFilter {

enum class Field : uint8_t {
  IP_VERSION,
  IP_PROTOCOL,
  IP_DSCP,
  VLAN_ID,
  LOCAL_PORT,
  OTHER_PORT,
  DETECTED_PROTOCOL,
  DETECTED_APPLICATION,
  LOCAL_IP,
  OTHER_IP,
  LOCAL_MAC,
  OTHER_MAC,
  DETECTED_PROTOCOL_NAME,
  DETECTED_APPLICATION_NAME,
  HOST_SERVER_NAME,
  DNS_HOST_NAME,
  INTERFACE,
};

// A number field compares with every operator; a text field only with "==" and "!=".
enum class FieldKind : uint8_t { NUMBER, TEXT };

struct FieldInfo {
  const char* name;
  Field field;
  FieldKind kind;
};

// The field called `name`, or null when there is none.
const FieldInfo* FindField(std::string_view name);

}  // namespace kvFilter
