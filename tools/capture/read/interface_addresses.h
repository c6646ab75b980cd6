// InterfaceAddresses: a network interface's own IP addresses, as the system lists them.
#pragma once

#include <string>
#include <vector>

namespace capture {

// The IPv4 and IPv6 addresses of interface `name` (getifaddrs), as texts; none for an interface
// that does not exist.
std::vector<std::string> InterfaceAddresses(const std::string& name);

}  // namespace capture
