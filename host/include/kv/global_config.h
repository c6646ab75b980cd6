// kvGlobalConfig: the daemon's global configuration, of which the plugin reads a few settings.
#pragma once

#include <atomic>
#include <cstdint>

#include "kv/api.h"

// Daemon threads and the plugin's worker read it concurrently with a host that changes it, so the
// settings are atomics and the instance pointer is atomic too. The stand-in's instance is one
// static object that the pointer shows or hides, so a reader never holds a dangling reference.
class KV_API kvGlobalConfig {
 public:
  enum Option : uint32_t {
    OPTION_DHC = 0x01,  // detection hint cache
    OPTION_FHC = 0x02,  // flow hash cache
  };

  // The instance, or null when the daemon has none.
  static std::atomic<kvGlobalConfig*> instance;

  // The instance; throws kvException "%s: instance not found" when there is none.
  static kvGlobalConfig& GetInstance();

  // Host side: make the instance exist with its defaults (no options, update_imf 1, interval 15),
  // or remove it.
  static kvGlobalConfig& Create();
  static void Destroy();

  bool IsEnabled(Option option) const { return (options.load() & option) != 0; }
  void SetOption(Option option, bool enabled);

  std::atomic<uint32_t> options{0};
  std::atomic<uint32_t> update_imf{1};
  std::atomic<uint32_t> update_interval{15};
};
