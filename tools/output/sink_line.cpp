// FormatSinkLine: the JSON Lines record of one sink call, in a fixed member order.
#include "tools/output/sink_line.h"

namespace replay {

std::string DumpDocument(const json& document) {
  return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string FormatSinkLine(const std::string& sink, const std::set<std::string>& channels,
                           const std::string& payload_text, uint8_t flags) {
  std::string line = "{\"sink\":";
  line += DumpDocument(json(sink));
  line += ",\"channel\":";
  if (channels.size() == 1) {
    line += DumpDocument(json(*channels.begin()));
  } else {
    line += DumpDocument(json(channels));
  }
  line += ",\"flags\":";
  line += std::to_string(static_cast<unsigned>(flags));
  line += ",\"payload\":";
  line += payload_text;
  line += "}\n";
  return line;
}

}  // namespace replay
