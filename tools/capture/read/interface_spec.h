// InterfaceSpec: one capture file played as one interface, with its name, role and own addresses.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kv/interface.h"

namespace capture {

struct InterfaceSpec {
  std::string file;  // "-" reads standard input
  std::string name;  // empty: the file's base name ("stdin" for "-")
  uint8_t role = kvInterface::ROLE_LAN;
  std::vector<std::string> addrs;  // the interface's own addresses, e.g. "192.168.1.1", "fd00::1"
  // When set, the capture is read from this stream instead of `file` (which still names it in
  // records and messages); the source takes it over and closes it.
  FILE* stream = nullptr;
};

// The interface's name: `name`, else the file's base name, "stdin" for "-".
std::string InterfaceName(const InterfaceSpec& spec);

}  // namespace capture
