// SafeFileName: percent-encoding of sink and channel names for --sink-dir.
#include "tools/output/safe_file_name.h"

namespace replay {

namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";
constexpr const char* kEmptyName = "%";

bool IsKept(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

}  // namespace

std::string SafeFileName(const std::string& name) {
  if (name.empty()) return kEmptyName;
  std::string safe;
  safe.reserve(name.size());
  for (size_t i = 0; i < name.size(); i++) {
    const char c = name[i];
    if (IsKept(c) && !(i == 0 && c == '.')) {
      safe += c;
      continue;
    }
    const unsigned byte = static_cast<unsigned char>(c);
    safe += '%';
    safe += kHexDigits[byte >> 4];
    safe += kHexDigits[byte & 0x0f];
  }
  return safe;
}

}  // namespace replay
