// FormatSinkLine: the JSON Lines record of one sink call, in a fixed member order.
#include "tools/output/sink_line.h"

namespace replay {

std::string DumpDocument(const json& document) {
  std::string line;
  JsonText(line).Value(document);
  return line;
}

void AppendSinkLineHead(JsonText& text, const std::string& sink,
                        const std::set<std::string>& channels, uint8_t flags) {
  text.Raw("{\"sink\":");
  text.String(sink);
  text.Raw(",\"channel\":");
  if (channels.size() == 1) {
    text.String(*channels.begin());
  } else {
    text.Value(json(channels));
  }
  text.Raw(",\"flags\":");
  text.Value(json(static_cast<unsigned>(flags)));
  text.Raw(",\"payload\":");
}

std::string FormatSinkLine(const std::string& sink, const std::set<std::string>& channels,
                           const std::string& payload_text, uint8_t flags) {
  std::string line;
  JsonText text(line);
  AppendSinkLineHead(text, sink, channels, flags);
  line += payload_text;
  line += kSinkLineEnd;
  return line;
}

}  // namespace replay
