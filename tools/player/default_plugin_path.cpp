// DefaultPluginPath: the installed location first, then the build tree's.
#include "tools/player/default_plugin_path.h"

#include <limits.h>
#include <unistd.h>

#include "tools/constants.h"

#ifndef KORVEL_REPLAY_PLUGIN_DIR
#error "KORVEL_REPLAY_PLUGIN_DIR must name the plugin directory relative to the tool's"
#endif

namespace replay {

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return std::string();
  const std::string path(buffer, static_cast<size_t>(length));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string DefaultPluginPath(const std::string& tool_dir) {
  const std::string base = tool_dir.empty() ? std::string(".") : tool_dir;
  const std::string installed = base + "/" + KORVEL_REPLAY_PLUGIN_DIR + "/" + kPluginFileName;
  const std::string build_tree = base + "/" + kBuildTreePluginDir + "/" + kPluginFileName;
  if (access(installed.c_str(), F_OK) == 0) return installed;
  if (access(build_tree.c_str(), F_OK) == 0) return build_tree;
  return installed;
}

}  // namespace replay
