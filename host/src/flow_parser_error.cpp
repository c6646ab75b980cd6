// Formatting and throwing of filter errors.
#include "flow_parser_error.h"

namespace kvFilter {

std::string MakeError(std::string_view expr, size_t position, std::string_view message) {
  std::string text = "filter \"";
  text.append(expr);
  text += "\": position ";
  text += std::to_string(position);
  text += ": ";
  text.append(message);
  return text;
}

void ThrowError(std::string_view expr, size_t position, std::string_view message) {
  throw MakeError(expr, position, message);
}

}  // namespace kvFilter
