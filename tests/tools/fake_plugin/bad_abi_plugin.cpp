// A plugin file whose ABI record names interface level 24, which korvel-replay must refuse.
// Its factory aborts, so a tool that calls it before checking the record fails loudly.
#include <cstdint>
#include <cstdlib>

#include "kv/plugin.h"

extern "C" __attribute__((visibility("default"))) const uint8_t kv_plugin_abi[32] = {
    'B',  'A',  'P',  'K',   // magic
    0x20, 0x00, 0x00, 0x00,  // record length: 32
    0x18, 0x00, 0x00, 0x00,  // interface level: 24, where 25 is expected
    0x09, 0x03, 0x23, 0x20,  // interface date stamp: 0x20230309
    0x01, 0x00, 0x00, 0x00,  // fixed: 1
    0x00, 0x00, 0x00, 0x00,  // fixed: 0
    0x60, 0x0b, 0x00, 0x00,  // fixed: 2912
    0x48, 0x00, 0x00, 0x00,  // fixed: 72
};

extern "C" __attribute__((visibility("default"))) kvPlugin* kvPluginInit(const std::string&,
                                                                         const kvPlugin::Params&) {
  std::abort();
}
