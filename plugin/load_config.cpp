// kppPlugin::LoadConfig: reads the configuration file (config/) and installs it whole, or changes
// nothing.
#include "config/read_settings.h"
#include "kv/log.h"
#include "plugin/plugin.h"
#include "plugin/thread_lock_guard.h"

// Worker thread only. defaults, sinks and flow_filters are read only by the worker, but are
// installed under the thread lock, which daemon threads take to queue flow events; they read
// channel_types (atomic) without it. The lock is taken once here: the replay tool's sync counts
// the worker's acquisitions of it (tools/player/scenario_player.cpp).
void kppPlugin::LoadConfig() {
  kv_dprintf("%s: Loading configuration: %s\n", tag.c_str(), conf_filename.c_str());

  // The plugin's own settings change only at the install.
  kppSettings settings = kppReadSettings(tag, conf_filename);
  {
    ThreadLockGuard guard(*this);
    defaults = settings.defaults;
    channel_types.exchange(settings.channel_types);
    flow_queue_limit = settings.flow_queue_limit;
    if (settings.flow_filters) flow_filters.swap(*settings.flow_filters);
    sinks.swap(settings.sinks);
  }
  // settings now holds the previous filters and sinks; they are destroyed on return, after the
  // lock has been released.
}
