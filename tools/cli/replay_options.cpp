// ParseReplayOptions: getopt_long reads the options, each is checked and stored, then the scenario.
#include "tools/cli/replay_options.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace replay {

namespace {

constexpr const char* kStandardStream = "-";

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
  kLocalNet,  // from here to kEmitScenario: the options only a capture run reads
  kUpdateInterval,
  kTcpIdle,
  kUdpIdle,
  kOtherIdle,
  kTcpLinger,
  kMaxFlows,
  kRealtime,
  kEmitScenario,
  kInterface,
  kFilter,  // from here to kUser: the options only a live capture reads
  kBufferMb,
  kNoPromisc,
  kUser,
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
    {"max-flows", required_argument, nullptr, kMaxFlows},
    {"realtime", no_argument, nullptr, kRealtime},
    {"emit-scenario", required_argument, nullptr, kEmitScenario},
    {"interface", required_argument, nullptr, kInterface},
    {"filter", required_argument, nullptr, kFilter},
    {"buffer-mb", required_argument, nullptr, kBufferMb},
    {"no-promisc", no_argument, nullptr, kNoPromisc},
    {"user", required_argument, nullptr, kUser},
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

// Reads the whole of `value` as a decimal number in [min, max] into `out`, else returns the
// usage error for `name`; `unit` is the number's words (" of seconds", or none).
template <typename Number>
std::string ParseNumber(const std::string& name, const std::string& value, uint64_t min,
                        uint64_t max, const char* unit, Number& out) {
  uint64_t number = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, number);
  if (error != std::errc() || stop != end || number < min || number > max) {
    return name + " needs a number" + unit + " from " + std::to_string(min) + " to " +
           std::to_string(max) + ", got \"" + value + "\"";
  }
  out = static_cast<Number>(number);
  return std::string();
}

std::string Seconds(const std::string& name, const std::string& value, uint64_t min,
                    uint32_t& out) {
  return ParseNumber(name, value, min, kMaxCaptureSeconds, " of seconds", out);
}

// Stores a path option's value, which may not be empty.
std::string Path(const std::string& name, const std::string& value, std::string& out) {
  if (value.empty()) return name + " needs a path";
  out = value;
  return std::string();
}

// Applies one option with its value (`name`: its long name, or "-o" when given so). Returns the
// usage error.
std::string Apply(int option, const std::string& name, const std::string& value,
                  ReplayOptions& options) {
  CaptureOptions& capture = options.capture;
  switch (option) {
    case kPlugin:
      return Path(name, value, options.plugin_path);
    case kConfig:
      return Path(name, value, options.config_path);
    case kSinkDir:
      return Path(name, value, options.sink_dir);
    case kEmitScenario:
      return Path(name, value, capture.emit_scenario);
    case kOutput: {
      const std::string error = Path(name, value, options.output_path);
      if (value == kStandardStream) options.output_path.clear();
      return error;
    }
    case kPcap: {
      if (value.empty()) return name + " needs a path";
      const auto reads_stdin = [](const PcapOption& pcap) { return pcap.file == kStandardStream; };
      if (value == kStandardStream &&
          std::any_of(capture.pcaps.begin(), capture.pcaps.end(), reads_stdin)) {
        return "--pcap - (standard input) can be given only once";
      }
      capture.pcaps.push_back(PcapOption{value, "", false, {}, false});
      return std::string();
    }
    case kInterface:
      if (value.empty()) return name + " needs an interface name";
      capture.pcaps.push_back(PcapOption{value, "", false, {}, true});
      return std::string();
    case kFilter:
      if (value.empty()) return name + " needs a filter expression";
      capture.filter = value;
      return std::string();
    case kBufferMb:
      return ParseNumber(name, value, 1, kMaxCaptureBufferMb, " of MiB", capture.buffer_mb);
    case kNoPromisc:
      capture.promiscuous = false;
      return std::string();
    case kUser:
      if (value.empty()) return name + " needs a user name";
      capture.user = value;
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
    case kBuckets:
      return ParseNumber(name, value, 0, kMaxBuckets, "", options.buckets);
    case kSyncTimeout:
      return ParseNumber(name, value, 1, kMaxSyncTimeoutSeconds, " of seconds",
                         options.sync_timeout_seconds);
    case kName:
    case kRole:
    case kAddr: {
      if (capture.pcaps.empty()) return name + " applies to a --pcap or --interface before it";
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
      return Seconds(name, value, 1, capture.update_interval);
    case kTcpIdle:
      return Seconds(name, value, 1, capture.tcp_idle);
    case kUdpIdle:
      return Seconds(name, value, 1, capture.udp_idle);
    case kOtherIdle:
      return Seconds(name, value, 1, capture.other_idle);
    case kTcpLinger:
      capture.has_tcp_linger = true;
      return Seconds(name, value, 0, capture.tcp_linger);
    case kMaxFlows:
      capture.has_max_flows = true;
      return ParseNumber(name, value, 0, kMaxFlowTableLimit, "", capture.max_flows);
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
  }
  return "unknown option " + name;  // not reached: getopt_long returns only the options above
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
  std::string live_only;     // the first live-capture option given, for the error without one
  opterr = 0;                // the refusals are reported by the caller, in the tool's words
  optind = 0;                // a fresh scan (GNU getopt), whatever an earlier parse left behind
  for (;;) {
    int long_index = -1;
    const int option = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, &long_index);
    if (option == -1) break;
    if (option == '?' || option == ':') return Refusal(option, argv[optind - 1]);
    const std::string name = long_index >= 0 ? std::string("--") + kLongOptions[long_index].name
                                             : "-" + std::string(1, static_cast<char>(option));
    if (option >= kLocalNet && option <= kEmitScenario && capture_only.empty()) capture_only = name;
    if (option >= kFilter && option <= kUser && live_only.empty()) live_only = name;
    const std::string error = Apply(option, name, optarg != nullptr ? optarg : "", options);
    if (!error.empty()) return error;
  }

  if (argc - optind > 1) {
    return "only one scenario can be played, got \"" + std::string(argv[optind + 1]) + "\" as well";
  }
  const bool scenario_given = optind < argc;
  if (scenario_given && argv[optind] != std::string(kStandardStream)) {
    options.scenario_path = argv[optind];
  }
  if (options.help || options.version) return std::string();
  const std::vector<PcapOption>& pcaps = options.capture.pcaps;
  const auto is_live = [](const PcapOption& pcap) { return pcap.live; };
  const bool live = std::any_of(pcaps.begin(), pcaps.end(), is_live);
  if (live && !std::all_of(pcaps.begin(), pcaps.end(), is_live)) {
    return "--interface and --pcap cannot be played together";
  }
  if (!pcaps.empty() && scenario_given) {
    return std::string("a scenario and ") + (live ? "--interface" : "--pcap") +
           " cannot be played together";
  }
  if (options.capture.realtime && (pcaps.empty() || live)) {
    return "--realtime applies to --pcap captures only";
  }
  if (pcaps.empty() && !capture_only.empty()) {
    return capture_only + " applies to --pcap or --interface captures only";
  }
  if (!live && !live_only.empty()) return live_only + " applies to --interface captures only";
  return std::string();
}

}  // namespace replay
