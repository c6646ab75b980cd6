// The --help and --version texts of korvel-replay.
#pragma once

#include <string>

namespace replay {

std::string HelpText();
std::string VersionText();

}  // namespace replay
