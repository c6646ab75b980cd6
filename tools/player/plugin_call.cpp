// PluginCall: what the plugin throws back from an event call, as a text.
#include "tools/player/plugin_call.h"

#include <exception>

namespace replay {

bool PluginCall(const std::function<void()>& call, std::string& error) {
  try {
    call();
    return true;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (const std::string& text) {
    error = text;
  } catch (...) {
    error = "an unknown exception";
  }
  return false;
}

}  // namespace replay
