// kppSettings: the settings one configuration file holds, ready for the plugin to install.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/channel_config.h"

// Sink name to channel name to channel settings.
using kppSinks = std::map<std::string, std::map<std::string, kppChannelConfig>>;

namespace kpp {

// The intake queue's limit when the configuration sets none.
constexpr size_t kNoQueueLimit = SIZE_MAX;

}  // namespace kpp

// A plain value: made by kppReadSettings on the worker, then installed by the plugin.
struct kppSettings {
  kppChannelConfig defaults;
  kppSinks sinks;
  // Union of the types of the defaults and of every enabled channel.
  uint8_t channel_types = kppChannelConfig::TYPE_NONE;
  // The file's "flow_filters"; none when the file has no such array, so that the list in force
  // stays.
  std::optional<std::vector<std::string>> flow_filters;
  // A positive integer "flow_queue_limit", kNoQueueLimit for anything else or none.
  size_t flow_queue_limit = kpp::kNoQueueLimit;
};
