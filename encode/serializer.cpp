// kvSerializer::serialize: writes one value at a one- or two-key path, skipping empty values.
#include "kv/serializer.h"

#include <utility>

#include "encode/empty_value.h"

namespace {

// The member `key` of `parent`, made when missing; a null parent becomes an object first. Unlike
// the library's indexing with a std::string, this copies the key only when it inserts it. (The
// tree builds the library without JSON_DIAGNOSTICS, whose parent links this does not set.)
json& Member(json& parent, const std::string& key) {
  if (parent.is_null()) parent = json::object();
  json::object_t* object = parent.get_ptr<json::object_t*>();
  // Neither null nor an object: the library's own indexing raises its type error 305, and
  // nothing has been changed yet.
  if (object == nullptr) return parent[key];
  auto it = object->lower_bound(key);
  if (it == object->end() || object->key_comp()(key, it->first)) {
    it = object->emplace_hint(it, key, nullptr);
  }
  return it->second;
}

bool Writable(const kvSerializer::Path& keys) {
  return keys.size() == 1 || keys.size() == 2;
}

// Stores `value` at a path of one or two keys. The first-level member is only indexed, so a type
// error at the second level leaves the document as it was.
void Store(json& j, const kvSerializer::Path& keys, json&& value) {
  if (keys.size() == 2) {
    Member(Member(j, keys[0]), keys[1]) = std::move(value);
  } else if (keys.size() == 1) {
    Member(j, keys[0]) = std::move(value);
  }
}

using kpp::encode::IsEmptyValue;

}  // namespace

void kvSerializer::serialize(json& j, const Path& keys, const std::string& value) const {
  if (!Writable(keys) || value.empty()) return;
  Store(j, keys, json(value));
}

void kvSerializer::serialize(json& j, const Path& keys, std::string&& value) const {
  if (!Writable(keys) || value.empty()) return;
  Store(j, keys, json(std::move(value)));
}

void kvSerializer::serialize(json& j, const Path& keys, const std::vector<std::string>& values,
                             const std::string& /*separator: lists are always arrays*/) const {
  if (!Writable(keys) || values.empty()) return;
  json array = json::array();
  json::array_t& items = array.get_ref<json::array_t&>();
  items.reserve(values.size());
  for (const std::string& value : values) items.emplace_back(value);
  Store(j, keys, std::move(array));
}

void kvSerializer::serialize(json& j, const Path& keys, const char* value) const {
  // A null pointer has no text to write; it is skipped rather than read.
  if (!Writable(keys) || value == nullptr) return;
  Store(j, keys, json(value));
}

void kvSerializer::serialize(json& j, const Path& keys, const json& value) const {
  if (!Writable(keys) || IsEmptyValue(value)) return;
  Store(j, keys, json(value));
}

void kvSerializer::serialize(json& j, const Path& keys, json&& value) const {
  if (!Writable(keys) || IsEmptyValue(value)) return;
  Store(j, keys, std::move(value));
}

void kvSerializer::serialize(json& j, const Path& keys, bool value) const {
  if (!Writable(keys)) return;
  Store(j, keys, json(value));
}

void kvSerializer::serialize(json& j, const Path& keys, unsigned char value) const {
  if (!Writable(keys)) return;
  Store(j, keys, json(static_cast<json::number_unsigned_t>(value)));
}

void kvSerializer::serialize(json& j, const Path& keys, unsigned short value) const {
  if (!Writable(keys)) return;
  Store(j, keys, json(static_cast<json::number_unsigned_t>(value)));
}

void kvSerializer::serialize(json& j, const Path& keys, unsigned int value) const {
  if (!Writable(keys)) return;
  Store(j, keys, json(static_cast<json::number_unsigned_t>(value)));
}

void kvSerializer::serialize(json& j, const Path& keys, unsigned long value) const {
  if (!Writable(keys)) return;
  Store(j, keys, json(static_cast<json::number_unsigned_t>(value)));
}

void kvSerializer::serialize(json& j, const Path& keys, long value) const {
  if (!Writable(keys)) return;
  Store(j, keys, json(static_cast<json::number_integer_t>(value)));
}

void kvSerializer::serialize(json& j, const Path& keys, double value) const {
  if (!Writable(keys)) return;
  Store(j, keys, json(static_cast<json::number_float_t>(value)));
}
