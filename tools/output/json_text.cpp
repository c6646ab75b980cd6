// JsonText: the compact JSON writer of sink lines, its direct cases and the library's.
#include "tools/output/json_text.h"

#include <algorithm>
#include <charconv>

namespace replay {

namespace {

// A byte the library writes as it is: printable ASCII but the quote and the backslash (DEL is
// kept as well, since nothing is escaped to ASCII).
bool Plain(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte < 0x80 && c != '"' && c != '\\';
}

}  // namespace

JsonText::JsonText(std::string& text)
    : out(text),
      library(nlohmann::detail::output_adapter<char, std::string>(text), ' ',
              json::error_handler_t::replace) {}

void JsonText::String(const std::string& value) {
  if (!std::all_of(value.begin(), value.end(), Plain)) {
    library.dump(json(value), false, false, 0);
    return;
  }
  out += '"';
  out += value;
  out += '"';
}

void JsonText::Unsigned(uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
  out.append(digits, static_cast<size_t>(end - digits));
}

void JsonText::Value(const json& value) {
  switch (value.type()) {
    case json::value_t::object: {
      const auto& members = value.get_ref<const json::object_t&>();
      out += '{';
      bool first = true;
      for (const auto& [key, member] : members) {
        if (!first) out += ',';
        first = false;
        String(key);
        out += ':';
        Value(member);
      }
      out += '}';
      return;
    }
    case json::value_t::array: {
      const auto& elements = value.get_ref<const json::array_t&>();
      out += '[';
      bool first = true;
      for (const json& element : elements) {
        if (!first) out += ',';
        first = false;
        Value(element);
      }
      out += ']';
      return;
    }
    case json::value_t::string:
      String(value.get_ref<const std::string&>());
      return;
    case json::value_t::boolean:
      if (value.get<bool>()) {
        Raw("true");
      } else {
        Raw("false");
      }
      return;
    case json::value_t::null:
      Raw("null");
      return;
    case json::value_t::number_unsigned:
      Unsigned(value.get<uint64_t>());
      return;
    case json::value_t::number_integer: {
      char digits[24];
      const auto end = std::to_chars(digits, digits + sizeof(digits), value.get<int64_t>()).ptr;
      out.append(digits, static_cast<size_t>(end - digits));
      return;
    }
    default:  // floating-point numbers, binary values, discarded values
      library.dump(value, false, false, 0);
      return;
  }
}

}  // namespace replay
