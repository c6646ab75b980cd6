// ReplayOptions: the command line of korvel-replay, and its parser.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "tools/constants.h"

namespace replay {

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
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name. Returns an empty string on success, else the
// usage error. "-" as SCENARIO or as -o PATH means standard input or output.
std::string ParseReplayOptions(const std::vector<std::string>& args, ReplayOptions& options);

}  // namespace replay
