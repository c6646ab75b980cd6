// ParseReplayOptions: getopt_long over a copy of the arguments, then each option checked.
#include "tools/cli/replay_options.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace replay {

namespace {

constexpr const char* kStandardStream = "-";

// Reads the whole of `text` as a decimal number in [min, max]; false for anything else.
bool ParseNumber(const std::string& text, uint64_t min, uint64_t max, uint64_t& out) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || value < min || value > max) return false;
  out = value;
  return true;
}

enum Option : int {
  kOutput = 'o',
  kQuiet = 'q',
  kHelp = 'h',
  kPlugin = 256,
  kConfig,
  kTag,
  kParam,
  kBuckets,
  kSinkDir,
  kSyncTimeout,
  kDebug,
  kVersion,
  kPcap,
  kName,
  kRole,
  kAddr,
  kLocalNet,
  kUpdateInterval,
  kTcpIdle,
  kUdpIdle,
  kOtherIdle,
  kTcpLinger,
  kRealtime,
  kEmitScenario,
};

constexpr struct option kLongOptions[] = {
    {"plugin", required_argument, nullptr, kPlugin},
    {"config", required_argument, nullptr, kConfig},
    {"tag", required_argument, nullptr, kTag},
    {"param", required_argument, nullptr, kParam},
    {"buckets", required_argument, nullptr, kBuckets},
    {"output", required_argument, nullptr, kOutput},
    {"sink-dir", required_argument, nullptr, kSinkDir},
    {"sync-timeout", required_argument, nullptr, kSyncTimeout},
    {"debug", no_argument, nullptr, kDebug},
    {"quiet", no_argument, nullptr, kQuiet},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"pcap", required_argument, nullptr, kPcap},
    {"name", required_argument, nullptr, kName},
    {"role", required_argument, nullptr, kRole},
    {"addr", required_argument, nullptr, kAddr},
    {"local-net", required_argument, nullptr, kLocalNet},
    {"update-interval", required_argument, nullptr, kUpdateInterval},
    {"tcp-idle", required_argument, nullptr, kTcpIdle},
    {"udp-idle", required_argument, nullptr, kUdpIdle},
    {"other-idle", required_argument, nullptr, kOtherIdle},
    {"tcp-linger", required_argument, nullptr, kTcpLinger},
    {"realtime", no_argument, nullptr, kRealtime},
    {"emit-scenario", required_argument, nullptr, kEmitScenario},
    {nullptr, 0, nullptr, 0},
};
constexpr const struct option* kLongOptionsEnd = kLongOptions + std::size(kLongOptions) - 1;
// ":" first: getopt_long returns ':' for a missing value, '?' for the other refusals.
constexpr const char* kShortOptions = ":o:qh";

// The long option whose value is `option`, or null for a letter that is none of ours.
const struct option* LongOption(int option) {
  const struct option* found = std::find_if(
      kLongOptions, kLongOptionsEnd, [&](const struct option& o) { return o.val == option; });
  return found != kLongOptionsEnd ? found : nullptr;
}

// The usage error for what getopt_long refused: `refused` is its return value, `arg` the argument
// it read last, and optopt tells what it refused.
std::string Refusal(int refused, const std::string& arg) {
  const std::string letter = "-" + std::string(1, static_cast<char>(optopt));
  const std::string spelled = arg.substr(0, arg.find('='));  // "--name" of "--name=value"
  const struct option* known = LongOption(optopt);
  if (refused == ':') {  // the option, with no value, was the last argument
    return (spelled.compare(0, 2, "--") == 0 ? std::string("--") + known->name : letter) +
           " needs a value";
  }
  if (optopt == 0) {
    // A long option that matched none of ours or several: getopt_long reports both alike, so
    // the message tells them apart by whether any of ours starts so.
    const std::string prefix = spelled.substr(2);
    const bool ambiguous = std::any_of(kLongOptions, kLongOptionsEnd, [&](const struct option& o) {
      return std::strncmp(o.name, prefix.c_str(), prefix.size()) == 0;
    });
    return ambiguous ? "option " + spelled + " is ambiguous" : "unknown option " + spelled;
  }
  if (known != nullptr) return spelled + " takes no value";  // as in "--debug=yes"
  return "unknown option " + letter;
}

std::string Seconds(const std::string& name, const char* value, uint64_t min, uint32_t& out) {
  uint64_t seconds = 0;
  if (!ParseNumber(value, min, kMaxCaptureSeconds, seconds)) {
    return name + " needs a number of seconds from " + std::to_string(min) + " to " +
           std::to_string(kMaxCaptureSeconds) + ", got \"" + value + "\"";
  }
  out = static_cast<uint32_t>(seconds);
  return std::string();
}

// Applies one option with its value (`name` as the user spelled it). Returns the usage error.
std::string Apply(int option, const std::string& name, const char* arg, ReplayOptions& options) {
  const std::string value = arg != nullptr ? arg : "";
  CaptureOptions& capture = options.capture;
  switch (option) {
    case kPlugin:
    case kConfig:
    case kSinkDir:
    case kOutput:
    case kPcap:
    case kEmitScenario:
      if (value.empty()) return name + " needs a path";
      if (option == kPlugin) options.plugin_path = value;
      if (option == kConfig) options.config_path = value;
      if (option == kSinkDir) options.sink_dir = value;
      if (option == kOutput) options.output_path = value == kStandardStream ? "" : value;
      if (option == kEmitScenario) capture.emit_scenario = value;
      if (option == kPcap) {
        for (const PcapOption& pcap : capture.pcaps) {
          if (value == kStandardStream && pcap.file == kStandardStream) {
            return "--pcap - (standard input) can be given only once";
          }
        }
        capture.pcaps.push_back(PcapOption{value, "", false, {}});
      }
      return std::string();
    case kTag:
      options.tag = value;
      return std::string();
    case kParam: {
      const size_t equals = value.find('=');
      if (equals == std::string::npos || equals == 0) {
        return name + " needs KEY=VALUE, got \"" + value + "\"";
      }
      options.params.emplace_back(value.substr(0, equals), value.substr(equals + 1));
      return std::string();
    }
    case kBuckets: {
      uint64_t buckets = 0;
      if (!ParseNumber(value, 0, kMaxBuckets, buckets)) {
        return name + " needs a number from 0 to " + std::to_string(kMaxBuckets) + ", got \"" +
               value + "\"";
      }
      options.buckets = static_cast<size_t>(buckets);
      return std::string();
    }
    case kSyncTimeout: {
      uint64_t seconds = 0;
      if (!ParseNumber(value, 1, kMaxSyncTimeoutSeconds, seconds)) {
        return name + " needs a number of seconds from 1 to " +
               std::to_string(kMaxSyncTimeoutSeconds) + ", got \"" + value + "\"";
      }
      options.sync_timeout_seconds = static_cast<unsigned>(seconds);
      return std::string();
    }
    case kName:
    case kRole:
    case kAddr: {
      if (capture.pcaps.empty()) return name + " applies to a --pcap before it";
      PcapOption& pcap = capture.pcaps.back();
      if (option == kName) {
        if (value.empty()) return name + " needs a name";
        pcap.name = value;
      } else if (option == kRole) {
        if (value != kRoleLan && value != kRoleWan) {
          return name + " needs " + kRoleLan + " or " + kRoleWan + ", got \"" + value + "\"";
        }
        pcap.wan = value == kRoleWan;
      } else {
        if (value.empty()) return name + " needs an address";
        pcap.addrs.push_back(value);
      }
      return std::string();
    }
    case kLocalNet:
      if (value.empty()) return name + " needs a network (ADDRESS/BITS)";
      capture.local_nets.push_back(value);
      return std::string();
    case kUpdateInterval:
      return Seconds(name, arg, 1, capture.update_interval);
    case kTcpIdle:
      return Seconds(name, arg, 1, capture.tcp_idle);
    case kUdpIdle:
      return Seconds(name, arg, 1, capture.udp_idle);
    case kOtherIdle:
      return Seconds(name, arg, 1, capture.other_idle);
    case kTcpLinger:
      capture.has_tcp_linger = true;
      return Seconds(name, arg, 0, capture.tcp_linger);
    case kRealtime:
      capture.realtime = true;
      return std::string();
    case kDebug:
      options.debug = true;
      return std::string();
    case kQuiet:
      options.quiet = true;
      return std::string();
    case kHelp:
      options.help = true;
      return std::string();
    case kVersion:
      options.version = true;
      return std::string();
    default:
      return "unknown option " + name;
  }
}

// The options that only a capture run reads.
bool IsCaptureOnly(int option) {
  return option == kLocalNet || option == kUpdateInterval || option == kTcpIdle ||
         option == kUdpIdle || option == kOtherIdle || option == kTcpLinger ||
         option == kRealtime || option == kEmitScenario;
}

}  // namespace

std::string ParseReplayOptions(const std::vector<std::string>& args, ReplayOptions& options) {
  std::vector<std::string> text{kProgramName};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(text.size());

  std::string capture_only;  // the first capture option given, for the error without --pcap
  opterr = 0;                // the refusals are reported by the caller, in the tool's words
  optind = 0;                // a fresh scan (GNU getopt), whatever an earlier parse left behind
  for (;;) {
    int long_index = -1;
    const int option = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, &long_index);
    if (option == -1) break;
    if (option == '?' || option == ':') return Refusal(option, argv[optind - 1]);
    const std::string name = long_index >= 0 ? std::string("--") + kLongOptions[long_index].name
                                             : "-" + std::string(1, static_cast<char>(option));
    if (IsCaptureOnly(option) && capture_only.empty()) capture_only = name;
    const std::string error = Apply(option, name, optarg, options);
    if (!error.empty()) return error;
  }

  bool scenario_given = false;
  for (int i = optind; i < argc; i++) {
    const std::string arg = argv[i];
    if (scenario_given) return "only one scenario can be played, got \"" + arg + "\" as well";
    scenario_given = true;
    options.scenario_path = arg == kStandardStream ? std::string() : arg;
  }
  if (options.help || options.version) return std::string();
  if (!options.capture.pcaps.empty() && scenario_given) {
    return "a scenario and --pcap cannot be played together";
  }
  if (options.capture.pcaps.empty() && !capture_only.empty()) {
    return capture_only + " applies to --pcap captures only";
  }
  return std::string();
}

}  // namespace replay
