// ParseReplayOptions: long options with "--name VALUE" or "--name=VALUE", -o, -q, one SCENARIO.
#include "tools/cli/replay_options.h"

#include <cstdint>

namespace replay {

namespace {

constexpr const char* kStandardStream = "-";

// Parses a decimal number in [min, max]; false for anything else.
bool ParseNumber(const std::string& text, uint64_t min, uint64_t max, uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (value < min || value > max) return false;
  out = value;
  return true;
}

enum class Option {
  kNone,
  kPlugin,
  kConfig,
  kTag,
  kParam,
  kBuckets,
  kOutput,
  kSinkDir,
  kSyncTimeout,
  kDebug,
  kQuiet,
  kHelp,
  kVersion,
};

struct OptionName {
  const char* name;
  Option option;
  bool takes_value;
};

constexpr OptionName kOptions[] = {
    {"--plugin", Option::kPlugin, true},
    {"--config", Option::kConfig, true},
    {"--tag", Option::kTag, true},
    {"--param", Option::kParam, true},
    {"--buckets", Option::kBuckets, true},
    {"--output", Option::kOutput, true},
    {"-o", Option::kOutput, true},
    {"--sink-dir", Option::kSinkDir, true},
    {"--sync-timeout", Option::kSyncTimeout, true},
    {"--debug", Option::kDebug, false},
    {"--quiet", Option::kQuiet, false},
    {"-q", Option::kQuiet, false},
    {"--help", Option::kHelp, false},
    {"-h", Option::kHelp, false},
    {"--version", Option::kVersion, false},
};

const OptionName* FindOption(const std::string& name) {
  for (const OptionName& entry : kOptions) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

// Applies one option with its value. Returns the usage error, or an empty string.
std::string Apply(const OptionName& entry, const std::string& value, ReplayOptions& options) {
  const std::string name = entry.name;
  switch (entry.option) {
    case Option::kPlugin:
      if (value.empty()) return name + " needs a path";
      options.plugin_path = value;
      return std::string();
    case Option::kConfig:
      if (value.empty()) return name + " needs a path";
      options.config_path = value;
      return std::string();
    case Option::kSinkDir:
      if (value.empty()) return name + " needs a path";
      options.sink_dir = value;
      return std::string();
    case Option::kOutput:
      if (value.empty()) return name + " needs a path";
      options.output_path = value == kStandardStream ? std::string() : value;
      return std::string();
    case Option::kTag:
      options.tag = value;
      return std::string();
    case Option::kParam: {
      const size_t equals = value.find('=');
      if (equals == std::string::npos || equals == 0) {
        return name + " needs KEY=VALUE, got \"" + value + "\"";
      }
      options.params.emplace_back(value.substr(0, equals), value.substr(equals + 1));
      return std::string();
    }
    case Option::kBuckets: {
      uint64_t buckets = 0;
      if (!ParseNumber(value, 0, kMaxBuckets, buckets)) {
        return name + " needs a number from 0 to " + std::to_string(kMaxBuckets) + ", got \"" +
               value + "\"";
      }
      options.buckets = static_cast<size_t>(buckets);
      return std::string();
    }
    case Option::kSyncTimeout: {
      uint64_t seconds = 0;
      if (!ParseNumber(value, 1, kMaxSyncTimeoutSeconds, seconds)) {
        return name + " needs a number of seconds from 1 to " +
               std::to_string(kMaxSyncTimeoutSeconds) + ", got \"" + value + "\"";
      }
      options.sync_timeout_seconds = static_cast<unsigned>(seconds);
      return std::string();
    }
    case Option::kDebug:
      options.debug = true;
      return std::string();
    case Option::kQuiet:
      options.quiet = true;
      return std::string();
    case Option::kHelp:
      options.help = true;
      return std::string();
    case Option::kVersion:
      options.version = true;
      return std::string();
    case Option::kNone:
      break;
  }
  return "unknown option " + name;
}

}  // namespace

std::string ParseReplayOptions(const std::vector<std::string>& args, ReplayOptions& options) {
  bool scenario_given = false;
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& arg = args[i];
    const bool is_option = !options_ended && arg.size() > 1 && arg[0] == '-';
    if (!is_option) {
      if (scenario_given) return "only one scenario can be played, got \"" + arg + "\" as well";
      scenario_given = true;
      options.scenario_path = arg == kStandardStream ? std::string() : arg;
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }

    std::string name = arg;
    std::string value;
    bool has_inline_value = false;
    const size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      has_inline_value = true;
    }
    const OptionName* entry = FindOption(name);
    if (entry == nullptr) return "unknown option " + name;
    if (entry->takes_value) {
      if (!has_inline_value) {
        if (i + 1 >= args.size()) return name + " needs a value";
        value = args[++i];
      }
    } else if (has_inline_value) {
      return name + " takes no value";
    }
    const std::string error = Apply(*entry, value, options);
    if (!error.empty()) return error;
  }
  return std::string();
}

}  // namespace replay
