// MemberReader: typed, range-checked access to the members of a scenario object.
#include "tools/scenario/member_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace replay {

std::string Quote(const std::string& text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

uint64_t UnsignedValue(const json& value, const std::string& name, uint64_t max) {
  if (!value.is_number_unsigned()) {
    // Non-negative integers always parse as unsigned; anything else is not one.
    throw ScenarioError("member " + Quote(name) + " must be an unsigned integer");
  }
  const uint64_t number = value.get<uint64_t>();
  if (number > max) {
    throw ScenarioError("member " + Quote(name) + " is out of range (0 to " + std::to_string(max) +
                        "): " + std::to_string(number));
  }
  return number;
}

double NumberValue(const json& value, const std::string& name) {
  if (!value.is_number()) throw ScenarioError("member " + Quote(name) + " must be a number");
  return value.get<double>();
}

MemberReader::MemberReader(const json& object_, std::string prefix_)
    : object(object_), prefix(std::move(prefix_)) {}

void MemberReader::RequireKnown(std::initializer_list<const char*> known) const {
  RequireKnownBy([known](const std::string& key) {
    return std::any_of(known.begin(), known.end(),
                       [&key](const char* name) { return key == name; });
  });
}

void MemberReader::RequireKnown(const std::vector<std::string>& known) const {
  RequireKnownBy([&known](const std::string& key) {
    return std::find(known.begin(), known.end(), key) != known.end();
  });
}

const json* MemberReader::Find(const char* key) const {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

bool MemberReader::ReadString(const char* key, std::string& out) const {
  const json* value = Find(key);
  if (value == nullptr) return false;
  if (!value->is_string()) throw ScenarioError("member " + Quote(Name(key)) + " must be a string");
  out = value->get_ref<const std::string&>();
  return true;
}

bool MemberReader::ReadBool(const char* key, bool& out) const {
  const json* value = Find(key);
  if (value == nullptr) return false;
  if (!value->is_boolean()) {
    throw ScenarioError("member " + Quote(Name(key)) + " must be a boolean");
  }
  out = value->get<bool>();
  return true;
}

bool MemberReader::ReadDouble(const char* key, double& out) const {
  const json* value = Find(key);
  if (value == nullptr) return false;
  out = NumberValue(*value, Name(key));
  return true;
}

bool MemberReader::ReadFloat(const char* key, float& out) const {
  const json* value = Find(key);
  if (value == nullptr) return false;
  const double number = NumberValue(*value, Name(key));
  const float narrowed = static_cast<float>(number);
  if (!std::isfinite(narrowed)) {
    throw ScenarioError("member " + Quote(Name(key)) +
                        " is out of range of a 32-bit float: " + value->dump());
  }
  out = narrowed;
  return true;
}

bool MemberReader::ReadStrings(const char* key, std::vector<std::string>& out) const {
  const json* value = Find(key);
  if (value == nullptr) return false;
  if (!value->is_array()) {
    throw ScenarioError("member " + Quote(Name(key)) + " must be an array of strings");
  }
  std::vector<std::string> strings;
  strings.reserve(value->size());
  for (size_t i = 0; i < value->size(); i++) {
    const json& element = (*value)[i];
    if (!element.is_string()) {
      throw ScenarioError("member " + Quote(Name(key) + "[" + std::to_string(i) + "]") +
                          " must be a string");
    }
    strings.push_back(element.get_ref<const std::string&>());
  }
  out = std::move(strings);
  return true;
}

const json* MemberReader::ReadObject(const char* key) const {
  const json* value = Find(key);
  if (value != nullptr && !value->is_object()) {
    throw ScenarioError("member " + Quote(Name(key)) + " must be an object");
  }
  return value;
}

}  // namespace replay
