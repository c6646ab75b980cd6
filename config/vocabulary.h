// The configuration file's vocabulary and the loader's fixed values, in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/channel_config.h"

namespace kpp::config {

// Members of the root object.
constexpr const char* kKeyFlowFilters = "flow_filters";
constexpr const char* kKeySinks = "sinks";
constexpr const char* kKeyFlowQueueLimit = "flow_queue_limit";
// Members shared by the root (the defaults) and every channel.
constexpr const char* kKeyTypes = "types";
constexpr const char* kKeyFormat = "format";
constexpr const char* kKeyCompressor = "compressor";
// Member of a channel only.
constexpr const char* kKeyEnable = "enable";

// The name the defaults are loaded under.
constexpr const char* kDefaultsName = "defaults";

// The function named at the start of every bad-value message of kppChannelConfig::Load.
constexpr const char* kLoadSignature = "void kppChannelConfig::Load(const string &, const json &)";
// The field words of those messages.
constexpr const char* kFieldType = "type";
constexpr const char* kFieldFormat = "format";
constexpr const char* kFieldCompressor = "compressor";

// A value name of the file and the number it stands for.
struct NamedValue {
  std::string_view name;
  uint8_t value;
};

constexpr NamedValue kTypeNames[] = {
    {"legacy-http", kppChannelConfig::TYPE_LEGACY_HTTP},
    {"legacy-socket", kppChannelConfig::TYPE_LEGACY_SOCKET},
    {"stream-flows", kppChannelConfig::TYPE_STREAM_FLOWS},
    {"stream-stats", kppChannelConfig::TYPE_STREAM_STATS},
};

constexpr NamedValue kFormatNames[] = {
    {"json", kppChannelConfig::FORMAT_JSON},
    {"msgpack", kppChannelConfig::FORMAT_MSGPACK},
};

// The value is the resulting `compress` flag.
constexpr NamedValue kCompressorNames[] = {
    {"gz", 1},
    {"none", 0},
};

// The JSON library's error number for a value of the wrong type in a conversion; the loader
// raises it itself where it checks a type instead of converting.
constexpr int kTypeMismatchError = 302;

// How much of the configuration file is read per system call.
constexpr size_t kReadChunkBytes = 16 * 1024;

}  // namespace kpp::config
