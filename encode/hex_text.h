// HexText16: the "0x%04hx" text of a 16-bit value, without going through printf.
#pragma once

#include <cstdint>
#include <string>

namespace kpp::encode {

// "0x" followed by four lower-case hexadecimal digits, e.g. 0x0304 for 772.
inline std::string HexText16(uint16_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out("0x0000");
  for (size_t i = 5; i >= 2; i--) {
    out[i] = kDigits[value & 0x0f];
    value = static_cast<uint16_t>(value >> 4);
  }
  return out;
}

}  // namespace kpp::encode
