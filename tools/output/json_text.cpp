// JsonText: the library's serializer over a kept string.
#include "tools/output/json_text.h"

namespace replay {

JsonText::JsonText(std::string& text)
    : out(text),
      library(nlohmann::detail::output_adapter<char, std::string>(text), ' ',
              json::error_handler_t::replace) {}

}  // namespace replay
