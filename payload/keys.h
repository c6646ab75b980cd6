// Member names of the documents the payload builders make, built once.
#pragma once

#include <string>

namespace kpp::keys {

// Object members looked up by a std::string reuse these instead of building a key per call.
inline const std::string& Type() {
  static const std::string key("type");
  return key;
}
inline const std::string& Reason() {
  static const std::string key("reason");
  return key;
}
inline const std::string& Interface() {
  static const std::string key("interface");
  return key;
}
inline const std::string& Internal() {
  static const std::string key("internal");
  return key;
}
inline const std::string& Flow() {
  static const std::string key("flow");
  return key;
}
inline const std::string& Flows() {
  static const std::string key("flows");
  return key;
}
inline const std::string& Version() {
  static const std::string key("version");
  return key;
}
inline const std::string& Interfaces() {
  static const std::string key("interfaces");
  return key;
}
inline const std::string& Devices() {
  static const std::string key("devices");
  return key;
}
inline const std::string& Stats() {
  static const std::string key("stats");
  return key;
}
inline const std::string& AgentVersion() {
  static const std::string key("agent_version");
  return key;
}
inline const std::string& BuildVersion() {
  static const std::string key("build_version");
  return key;
}
inline const std::string& JsonVersion() {
  static const std::string key("json_version");
  return key;
}

}  // namespace kpp::keys

namespace kpp::texts {

// "type" values of the documents.
constexpr const char* kFlowStats = "flow_stats";
constexpr const char* kFlowPurge = "flow_purge";
constexpr const char* kFlowNew = "flow";
constexpr const char* kFlowDpiUpdate = "flow_dpi_update";
constexpr const char* kFlowDpiComplete = "flow_dpi_complete";
constexpr const char* kAgentHello = "agent_hello";
constexpr const char* kAgentStatus = "agent_status";
constexpr const char* kInterfaces = "interfaces";
constexpr const char* kEndpoints = "endpoints";
constexpr const char* kInterfaceStats = "interface_stats";
constexpr const char* kGlobalStats = "global_stats";

// "reason" values of purge documents.
constexpr const char* kReasonClosed = "closed";
constexpr const char* kReasonExpired = "expired";

}  // namespace kpp::texts
