// Address and byte texts of a scenario: MAC, IP and IP-with-port addresses, and hex byte lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kv/addr.h"

namespace replay {

enum class AddressKind {
  kMac,  // six hex pairs
  kIp,   // an IPv4 or IPv6 address, optionally with a port
  kAny,  // either of the above
};

// Parses `text` (member `name` in messages) into `out`. The empty text gives an empty record.
// Throws ScenarioError for text that is not an address of `kind`.
void ParseAddress(const std::string& text, AddressKind kind, const std::string& name, kvAddr& out);

// Parses hex text, two digits per byte, into bytes. Throws ScenarioError for anything else.
std::vector<uint8_t> ParseHexBytes(const std::string& text, const std::string& name);

// The inverses: the address as text ("" for an empty record; `with_port` adds an IP address's
// port), and the bytes as hex text.
std::string AddressText(const kvAddr& addr, bool with_port);
std::string HexText(const std::vector<uint8_t>& bytes);

// Sets the port of an IP address record (the port is kept in network order, as the daemon does).
// False when the record holds no IP address.
bool SetPort(kvAddr& addr, uint16_t port);

}  // namespace replay
