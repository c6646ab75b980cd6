// PluginCall: runs one call into the plugin and turns what it throws back into a text.
#pragma once

#include <functional>
#include <string>

namespace replay {

// Runs `call`. Returns true when it returned; otherwise false, with the text of what it threw
// (an exception's what(), a thrown string, or "an unknown exception") in `error`.
bool PluginCall(const std::function<void()>& call, std::string& error);

}  // namespace replay
