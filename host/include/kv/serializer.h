// kvSerializer: writes values into a JSON document at one- or two-key paths, skipping empty ones.
#pragma once

#include <string>
#include <vector>

#include "kv/api.h"
#include "kv/json.h"

// The record classes that encode themselves derive from this. It has no state; its operations
// touch only the document they are given. Defined by the processor plugin.
class KV_API kvSerializer {
 public:
  using Path = std::vector<std::string>;

  void serialize(json& j, const Path& keys, const std::string& value) const;
  // Moves the text into the document instead of copying it (for texts made for the call).
  void serialize(json& j, const Path& keys, std::string&& value) const;
  void serialize(json& j, const Path& keys, const std::vector<std::string>& values,
                 const std::string& separator) const;
  void serialize(json& j, const Path& keys, const char* value) const;
  void serialize(json& j, const Path& keys, const json& value) const;
  // Moves the value into the document instead of copying it (for arrays built for the call).
  void serialize(json& j, const Path& keys, json&& value) const;
  void serialize(json& j, const Path& keys, bool value) const;
  void serialize(json& j, const Path& keys, unsigned char value) const;
  void serialize(json& j, const Path& keys, unsigned short value) const;
  void serialize(json& j, const Path& keys, unsigned int value) const;
  void serialize(json& j, const Path& keys, unsigned long value) const;
  void serialize(json& j, const Path& keys, long value) const;
  void serialize(json& j, const Path& keys, double value) const;
};
