// kppChannelConfig: one channel's payload types, encoding and compression.
#pragma once

#include <cstdint>
#include <string>

#include "kv/json.h"

class kppChannelConfig {
 public:
  enum Type : uint8_t {
    TYPE_NONE = 0x00,
    TYPE_LEGACY_HTTP = 0x01,
    TYPE_LEGACY_SOCKET = 0x02,
    TYPE_STREAM_FLOWS = 0x04,
    TYPE_STREAM_STATS = 0x08,
  };

  enum Format : uint8_t {
    FORMAT_JSON = 1,
    FORMAT_MSGPACK = 2,
  };

  // Updates the record from one object of the configuration file: adds the bits named in
  // "types", and replaces "format" and "compressor" when they are strings. Throws kvException on
  // an unknown name, and the JSON library's type error on a non-string "types" element. `name`
  // identifies the record for the caller only.
  void Load(const std::string& name, const json& object);

  bool operator==(const kppChannelConfig& other) const {
    return types == other.types && format == other.format && compress == other.compress;
  }

  uint8_t types = TYPE_NONE;
  uint8_t format = FORMAT_JSON;
  bool compress = false;
};
