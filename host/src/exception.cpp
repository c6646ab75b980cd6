// kvException: formats its message once, at construction.
#include "kv/exception.h"

#include <cstdarg>

#include "vformat.h"

kvException::kvException(const char* format, ...) : std::runtime_error(std::string()) {
  va_list args;
  va_start(args, format);
  std::string text = kvStandIn::VFormat(format, args);
  va_end(args);
  static_cast<std::runtime_error&>(*this) = std::runtime_error(text);
}

kvException::~kvException() = default;
