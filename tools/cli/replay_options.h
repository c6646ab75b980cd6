// ReplayOptions: the command line of korvel-replay, and its parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/constants.h"

namespace replay {

// One --pcap or --interface and the --name, --role and --addr options that follow it.
struct PcapOption {
  std::string file;  // "-" is standard input; the interface's name with `live`
  std::string name;  // empty: the file's base name, or the interface's name
  bool wan = false;  // --role wan; else a LAN interface
  std::vector<std::string> addrs;  // empty: none for a file, the interface's own when live
  bool live = false;               // --interface: captured live
};

// The capture source's tunables; 0 leaves the source's default.
struct CaptureOptions {
  std::vector<PcapOption> pcaps;
  std::vector<std::string> local_nets;
  uint32_t update_interval = 0;  // 0: the global configuration's
  uint32_t tcp_idle = 0;
  uint32_t udp_idle = 0;
  uint32_t other_idle = 0;
  bool has_tcp_linger = false;
  uint32_t tcp_linger = 0;
  bool has_max_flows = false;
  uint64_t max_flows = 0;  // with has_max_flows: 0 is no limit
  bool realtime = false;
  std::string emit_scenario;  // empty: none written
  // Live capture (--interface) only.
  std::string filter;  // BPF filter expression; empty: none
  uint32_t buffer_mb = kDefaultCaptureBufferMb;
  bool promiscuous = true;
  std::string user;  // drop privileges to this user once the interfaces are open; empty: stay
};

struct ReplayOptions {
  std::string plugin_path;  // empty: the plugin built or installed beside the tool
  std::string config_path;  // empty: a private temporary file
  std::string tag = kDefaultTag;
  std::vector<std::pair<std::string, std::string>> params;  // in command-line order
  size_t buckets = kDefaultBuckets;
  std::string output_path;  // empty: standard output
  std::string sink_dir;     // empty: no sink files
  bool debug = false;
  bool quiet = false;
  unsigned sync_timeout_seconds = kDefaultSyncTimeoutSeconds;
  std::string scenario_path;  // empty: standard input
  CaptureOptions capture;     // played instead of a scenario when it names a --pcap
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name with getopt_long (long options as "--name VALUE"
// or "--name=VALUE", unambiguous abbreviations accepted). Returns an empty string on success,
// else the usage error. "-" as SCENARIO, as -o PATH or as --pcap FILE means standard input or
// output.
std::string ParseReplayOptions(const std::vector<std::string>& args, ReplayOptions& options);

}  // namespace replay
