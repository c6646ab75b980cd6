// kppReadSettings: the configuration file's defaults, filters, queue limit and sinks.
#include "config/read_settings.h"

#include <cerrno>
#include <cstring>

#include "config/config_file.h"
#include "config/json_refs.h"
#include "config/parse_config.h"
#include "config/vocabulary.h"
#include "kv/exception.h"

kppSettings kppReadSettings(const std::string& tag, const std::string& path) {
  kppConfigFile file;
  if (!file.Open(path)) {
    // Every cause is reported as a missing file.
    throw kvException("%s: %s: %s", tag.c_str(), path.c_str(), strerror(ENOENT));
  }
  const json root = kppParseConfig(file, tag, path);

  // The document is walked by reference: copying a deeply nested value would recurse per level.
  kppSettings settings;
  settings.defaults.Load(kpp::config::kDefaultsName, root);
  settings.channel_types = settings.defaults.types;

  auto member = root.find(kpp::config::kKeyFlowFilters);
  if (member != root.end() && member->is_array()) {
    std::vector<std::string>& filters = settings.flow_filters.emplace();
    filters.reserve(member->size());
    for (const json& filter : *member) filters.push_back(kpp::config::StringRef(filter));
  }

  // A positive integer limits the intake queue; anything else, absence included, leaves it
  // without a limit.
  member = root.find(kpp::config::kKeyFlowQueueLimit);
  if (member != root.end() && member->is_number_unsigned()) {
    const json::number_unsigned_t limit = *member->get_ptr<const json::number_unsigned_t*>();
    if (limit > 0 && limit < kpp::kNoQueueLimit) {
      settings.flow_queue_limit = static_cast<size_t>(limit);
    }
  }

  member = root.find(kpp::config::kKeySinks);
  if (member != root.end()) {
    for (const auto& [sink_name, sink_value] : kpp::config::ObjectRef(*member)) {
      for (const auto& [channel_name, channel_value] : kpp::config::ObjectRef(sink_value)) {
        auto enable = channel_value.find(kpp::config::kKeyEnable);
        if (enable != channel_value.end() && enable->is_boolean() &&
            !*enable->get_ptr<const json::boolean_t*>()) {
          continue;
        }
        kppChannelConfig channel = settings.defaults;
        channel.Load(channel_name, channel_value);
        settings.channel_types |= channel.types;
        settings.sinks[sink_name].emplace(channel_name, channel);
      }
    }
  }
  return settings;
}
