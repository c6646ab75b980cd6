// InterfaceAddresses: getifaddrs' entries of one interface, written with inet_ntop.
#include "tools/capture/read/interface_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace capture {

std::vector<std::string> InterfaceAddresses(const std::string& name) {
  std::vector<std::string> addrs;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addrs;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || name != entry->ifa_name) continue;
    char text[INET6_ADDRSTRLEN] = {};
    const int family = entry->ifa_addr->sa_family;
    const void* addr = nullptr;
    if (family == AF_INET) {
      addr = &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr;
    } else if (family == AF_INET6) {
      addr = &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr;
    }
    if (addr != nullptr && inet_ntop(family, addr, text, sizeof text) != nullptr) {
      addrs.emplace_back(text);
    }
  }
  freeifaddrs(list);
  return addrs;
}

}  // namespace capture
