// The name an interface of a capture file is known by.
#include "tools/capture/read/interface_spec.h"

namespace capture {

std::string InterfaceName(const InterfaceSpec& spec) {
  if (!spec.name.empty()) return spec.name;
  if (spec.file == "-") return "stdin";
  size_t slash = spec.file.find_last_of('/');
  std::string base = slash == std::string::npos ? spec.file : spec.file.substr(slash + 1);
  return base.empty() ? spec.file : base;
}

}  // namespace capture
