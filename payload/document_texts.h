// The member names and "type" values that several payload builders write.
#pragma once

#include <string>

namespace kpp::keys {

// Members looked up by a std::string reuse these instead of building a key per call. A member
// written in one place only keeps its literal there.
inline const std::string& Type() {
  static const std::string key("type");
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

}  // namespace kpp::keys

namespace kpp::texts {

// "type" of the status document, legacy and stream alike.
constexpr const char* kAgentStatus = "agent_status";

}  // namespace kpp::texts
