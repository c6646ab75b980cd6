// kvGlobalConfig: the stand-in's one global configuration, shown or hidden by the host.
#include "kv/global_config.h"

#include "kv/exception.h"

namespace {
kvGlobalConfig the_config;
}

std::atomic<kvGlobalConfig*> kvGlobalConfig::instance{nullptr};

kvGlobalConfig& kvGlobalConfig::GetInstance() {
  kvGlobalConfig* config = instance.load();
  if (config == nullptr) {
    throw kvException("%s: instance not found",
                      "static kvGlobalConfig &kvGlobalConfig::GetInstance()");
  }
  return *config;
}

kvGlobalConfig& kvGlobalConfig::Create() {
  the_config.options.store(0);
  the_config.update_imf.store(1);
  the_config.update_interval.store(15);
  instance.store(&the_config);
  return the_config;
}

void kvGlobalConfig::Destroy() { instance.store(nullptr); }

void kvGlobalConfig::SetOption(Option option, bool enabled) {
  if (enabled) {
    options.fetch_or(option);
  } else {
    options.fetch_and(~static_cast<uint32_t>(option));
  }
}
