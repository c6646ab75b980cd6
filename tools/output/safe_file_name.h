// SafeFileName: a sink or channel name made into one harmless file-name component.
#pragma once

#include <string>

namespace replay {

// Keeps A-Z, a-z, 0-9, ".", "_" and "-", and percent-encodes every other byte as %XX (upper-case
// hex), and a leading "." as %2E, so that no name can leave its directory, hide, or collide with
// another. The empty name becomes "%", which no encoded name can be.
std::string SafeFileName(const std::string& name);

}  // namespace replay
