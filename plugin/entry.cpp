// The plugin's two exports: the ABI record the daemon checks and the factory it calls.
#include <cstdint>
#include <memory>

#include "kv/log.h"
#include "plugin/plugin.h"

// The daemon-library interface this plugin is built against, little-endian, 32 bytes.
extern "C" __attribute__((visibility("default"))) const uint8_t kv_plugin_abi[32] = {
    'B',  'A',  'P',  'K',   // magic
    0x20, 0x00, 0x00, 0x00,  // record length: 32
    0x19, 0x00, 0x00, 0x00,  // interface level: 25
    0x09, 0x03, 0x23, 0x20,  // interface date stamp: 0x20230309
    0x01, 0x00, 0x00, 0x00,  // fixed: 1
    0x00, 0x00, 0x00, 0x00,  // fixed: 0
    0x60, 0x0b, 0x00, 0x00,  // fixed: 2912
    0x48, 0x00, 0x00, 0x00,  // fixed: 72
};

kvPlugin* kvPluginInit(const std::string& tag, const kvPlugin::Params& params) {
  std::unique_ptr<kppPlugin> plugin(new kppPlugin(tag, params));
  const uint8_t type = plugin->GetType();
  if (type == kvPlugin::TYPE_PROCESSOR_BASIC || type == kvPlugin::TYPE_PROCESSOR_STATS) {
    return plugin.release();
  }
  kv_printf("Invalid plugin type: %s [%u]\n", tag.c_str(), static_cast<unsigned>(type));
  return nullptr;
}
