// DefaultPluginPath: the plugin built or installed beside the running tool.
#pragma once

#include <string>

namespace replay {

// The directory of the running executable (from /proc/self/exe); empty when unknown.
std::string ExecutableDirectory();

// The plugin that belongs with the tool in `tool_dir`: after install it lies in the daemon's
// plugin directory under the library directory (KORVEL_REPLAY_PLUGIN_DIR, relative to the tool's
// directory); in the build tree it lies in <build>/plugin. The first of the two that exists, else
// the installed location.
std::string DefaultPluginPath(const std::string& tool_dir);

}  // namespace replay
