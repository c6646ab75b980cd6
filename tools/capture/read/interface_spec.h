// InterfaceSpec: one capture file played as one interface, with its name, role and own addresses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kv/interface.h"
#include "tools/capture/constants.h"

namespace capture {

// How a live interface is opened; the same for every interface of a run.
struct LiveSettings {
  size_t buffer_bytes = kLiveBufferBytes;  // the kernel's capture buffer
  bool promiscuous = true;
  std::string filter;  // a BPF filter expression; empty: every packet
};

struct InterfaceSpec {
  std::string file;  // "-" reads standard input
  std::string name;  // empty: the file's base name ("stdin" for "-")
  uint8_t role = kvInterface::ROLE_LAN;
  std::vector<std::string> addrs;  // the interface's own addresses, e.g. "192.168.1.1", "fd00::1"
  // When set, the capture is read from this stream instead of `file` (which still names it in
  // records and messages); the source takes it over and closes it.
  FILE* stream = nullptr;
  // Captures on the network interface named `file` instead of reading a file.
  bool live = false;
  LiveSettings live_settings;
};

// The interface's name: `name`, else the file's base name, "stdin" for "-".
std::string InterfaceName(const InterfaceSpec& spec);

}  // namespace capture
