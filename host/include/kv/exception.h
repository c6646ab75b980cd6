// The daemon library's exception: a printf-style formatted message.
#pragma once

#include <stdexcept>

#include "kv/api.h"

class KV_API kvException : public std::runtime_error {
 public:
  // Formats the message with vsnprintf; any length is kept whole.
  explicit kvException(const char* format, ...) __attribute__((format(printf, 2, 3)));
  ~kvException() override;
};
