// JsonText: the library's serializer over a kept string, and numbers written with to_chars.
#include "tools/output/json_text.h"

#include <charconv>

namespace replay {

JsonText::JsonText(std::string& text)
    : out(text),
      library(nlohmann::detail::output_adapter<char, std::string>(text), ' ',
              json::error_handler_t::replace) {}

void JsonText::Unsigned(uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
  out.append(digits, static_cast<size_t>(end - digits));
}

}  // namespace replay
