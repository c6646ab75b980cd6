// MemberReader: reads the members of one scenario object, checking names, types and ranges.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "kv/json.h"
#include "tools/scenario/scenario_error.h"

namespace replay {

// Throws ScenarioError "member NAME must be an unsigned integer" or "... is out of range".
uint64_t UnsignedValue(const json& value, const std::string& name, uint64_t max);
// Throws unless `value` is a number; the result is always finite.
double NumberValue(const json& value, const std::string& name);

// Reads members of `object` (which must be a JSON object) by key. Every reader returns false
// and leaves `out` unchanged when the member is absent, and throws ScenarioError when it has the
// wrong type or is out of range. Member names in messages carry `prefix` ("tls." inside "tls").
class MemberReader {
 public:
  MemberReader(const json& object, std::string prefix);

  // Throws ScenarioError naming the first member, in key order, that is not in `known`.
  void RequireKnown(std::initializer_list<const char*> known) const;
  void RequireKnown(const std::vector<std::string>& known) const;
  // The same for the first member whose key `known(key)` refuses.
  template <typename Known>
  void RequireKnownBy(Known known) const {
    for (const auto& member : object.items()) {
      if (!known(member.key())) throw ScenarioError("unknown member " + Quote(Name(member.key())));
    }
  }

  bool Has(const char* key) const { return Find(key) != nullptr; }
  const json* Find(const char* key) const;
  // The member's name as messages show it.
  std::string Name(const std::string& key) const { return prefix + key; }

  bool ReadString(const char* key, std::string& out) const;
  bool ReadBool(const char* key, bool& out) const;
  bool ReadDouble(const char* key, double& out) const;
  // A number that fits a 32-bit float.
  bool ReadFloat(const char* key, float& out) const;
  bool ReadStrings(const char* key, std::vector<std::string>& out) const;
  // The member if it is an object (null when absent); throws for any other type.
  const json* ReadObject(const char* key) const;

  template <typename T>
  bool ReadUnsigned(const char* key, T& out) const {
    static_assert(std::is_unsigned<T>::value, "unsigned fields only");
    const json* value = Find(key);
    if (value == nullptr) return false;
    out = static_cast<T>(UnsignedValue(*value, Name(key), std::numeric_limits<T>::max()));
    return true;
  }

  template <typename T>
  bool ReadUnsignedList(const char* key, std::vector<T>& out) const {
    static_assert(std::is_unsigned<T>::value, "unsigned fields only");
    const json* value = Find(key);
    if (value == nullptr) return false;
    if (!value->is_array()) {
      throw ScenarioError("member " + Quote(Name(key)) + " must be an array of unsigned integers");
    }
    std::vector<T> values;
    values.reserve(value->size());
    for (size_t i = 0; i < value->size(); i++) {
      values.push_back(static_cast<T>(UnsignedValue(
          (*value)[i], Name(key) + "[" + std::to_string(i) + "]", std::numeric_limits<T>::max())));
    }
    out = std::move(values);
    return true;
  }

 private:
  const json& object;
  std::string prefix;
};

}  // namespace replay
