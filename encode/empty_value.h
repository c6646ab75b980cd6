// IsEmptyValue: whether a JSON value counts as empty, for the serializer and the worker alike.
#pragma once

#include "kv/json.h"

namespace kpp::encode {

// Null, or an array or object without members. Such a value is not written by the serializer,
// and such a document is not sent.
inline bool IsEmptyValue(const json& value) {
  return value.is_null() || ((value.is_array() || value.is_object()) && value.empty());
}

}  // namespace kpp::encode
