// JsonText: documents appended as JSON text to a reusable string, without temporary strings.
#pragma once

#include <cstddef>
#include <string>

#include "kv/json.h"

namespace replay {

// Appends to one string the bytes that json::dump(-1, ' ', false, replace) makes (compact, UTF-8
// kept as it is, invalid UTF-8 replaced by U+FFFD), with the library's own serializer writing
// straight into the string. Not thread-safe: one owner, and `text` outlives it.
class JsonText {
 public:
  explicit JsonText(std::string& text);
  JsonText(const JsonText&) = delete;
  JsonText& operator=(const JsonText&) = delete;

  void Value(const json& value) { library.dump(value, false, false, 0); }
  void String(const std::string& value) { Value(json(value)); }
  void Raw(const char* text, size_t size) { out.append(text, size); }
  template <size_t N>
  void Raw(const char (&literal)[N]) {
    out.append(literal, N - 1);
  }

 private:
  std::string& out;
  nlohmann::detail::serializer<json> library;
};

}  // namespace replay
