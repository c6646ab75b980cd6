// printf-style formatting into a std::string of any length, for the stand-in's messages.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace kvStandIn {

inline std::string VFormat(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

inline std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace kvStandIn
