// Checked references into a parsed configuration: the JSON library's own conversion errors,
// raised without copying the value.
#pragma once

#include <string>

#include "config/vocabulary.h"
#include "kv/json.h"

namespace kpp::config {

// `value` as an object. Throws the type error a conversion of `value` to an object raises
// ("type must be object, but is ..."); unlike that conversion it copies nothing, so a deeply
// nested document cannot exhaust the stack here.
inline const json::object_t& ObjectRef(const json& value) {
  if (!value.is_object()) {
    throw json::type_error::create(kTypeMismatchError,
                                   "type must be object, but is " + std::string(value.type_name()),
                                   &value);
  }
  return *value.get_ptr<const json::object_t*>();
}

// `value` as a string, with the type error a conversion to a string raises.
inline const std::string& StringRef(const json& value) {
  if (!value.is_string()) {
    throw json::type_error::create(kTypeMismatchError,
                                   "type must be string, but is " + std::string(value.type_name()),
                                   &value);
  }
  return *value.get_ptr<const std::string*>();
}

}  // namespace kpp::config
