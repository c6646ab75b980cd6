// CaptureError: a capture file that cannot be read, as "FILE: reason".
#pragma once

#include <stdexcept>
#include <string>

namespace capture {

class CaptureError : public std::runtime_error {
 public:
  CaptureError(const std::string& file, const std::string& reason)
      : std::runtime_error(file + ": " + reason) {}
};

}  // namespace capture
