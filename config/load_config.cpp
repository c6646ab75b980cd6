// kppPlugin::LoadConfig: reads the configuration file and installs it whole, or changes nothing.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/constants.h"
#include "config/json_refs.h"
#include "config/parse_config.h"
#include "kv/exception.h"
#include "kv/log.h"
#include "plugin/plugin.h"
#include "plugin/thread_lock_guard.h"

// Worker thread only. defaults, sinks and flow_filters are read only by the worker, but are
// installed under the thread lock, which daemon threads take to queue flow events; they read
// channel_types (atomic) without it.
void kppPlugin::LoadConfig() {
  kv_dprintf("%s: Loading configuration: %s\n", tag.c_str(), conf_filename.c_str());

  kppConfigFile file;
  if (!file.Open(conf_filename)) {
    // Every cause is reported as a missing file.
    throw kvException("%s: %s: %s", tag.c_str(), conf_filename.c_str(), strerror(ENOENT));
  }
  const json root = kppParseConfig(file, tag, conf_filename);

  // Everything below builds local settings; the plugin's own change only at the install. The
  // document is walked by reference: copying a deeply nested value would recurse per level.
  kppChannelConfig new_defaults;
  new_defaults.Load(kpp::config::kDefaultsName, root);
  uint8_t new_channel_types = new_defaults.types;

  // flow_filters is written only by this thread, so reading it here needs no lock.
  std::vector<std::string> new_flow_filters;
  auto member = root.find(kpp::config::kKeyFlowFilters);
  if (member != root.end() && member->is_array()) {
    new_flow_filters.reserve(member->size());
    for (const json& filter : *member) new_flow_filters.push_back(kpp::config::StringRef(filter));
  } else {
    new_flow_filters = flow_filters;
  }

  // A positive integer limits the intake queue; anything else, absence included, leaves it
  // without a limit.
  size_t new_queue_limit = kpp::kNoQueueLimit;
  member = root.find(kpp::config::kKeyFlowQueueLimit);
  if (member != root.end() && member->is_number_unsigned()) {
    const json::number_unsigned_t limit = *member->get_ptr<const json::number_unsigned_t*>();
    if (limit > 0 && limit < kpp::kNoQueueLimit) new_queue_limit = static_cast<size_t>(limit);
  }

  Sinks new_sinks;
  member = root.find(kpp::config::kKeySinks);
  if (member != root.end()) {
    for (const auto& [sink_name, sink_value] : kpp::config::ObjectRef(*member)) {
      for (const auto& [channel_name, channel_value] : kpp::config::ObjectRef(sink_value)) {
        auto enable = channel_value.find(kpp::config::kKeyEnable);
        if (enable != channel_value.end() && enable->is_boolean() &&
            !*enable->get_ptr<const json::boolean_t*>()) {
          continue;
        }
        kppChannelConfig channel = new_defaults;
        channel.Load(channel_name, channel_value);
        new_channel_types |= channel.types;
        new_sinks[sink_name].emplace(channel_name, channel);
      }
    }
  }

  {
    ThreadLockGuard guard(*this);
    defaults = new_defaults;
    channel_types.exchange(new_channel_types);
    flow_queue_limit = new_queue_limit;
    flow_filters.swap(new_flow_filters);
    sinks.swap(new_sinks);
  }
  // new_flow_filters and new_sinks now hold the previous settings; they are destroyed on return,
  // after the lock has been released.
}
