// FormatSinkLine: one recorded sink call as the line korvel-replay writes for it.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "kv/json.h"
#include "tools/output/json_text.h"

namespace replay {

// {"sink":S,"channel":C,"flags":N,"payload":DOC} and a newline, members in that order, invalid
// UTF-8 replaced; `payload_text` is the document as DumpDocument made it. "channel" is the
// channel's name when the call names exactly one (as this plugin's calls always do), else an
// array of the names.
std::string FormatSinkLine(const std::string& sink, const std::set<std::string>& channels,
                           const std::string& payload_text, uint8_t flags);

// The line's members before the payload's text, {"sink":S,"channel":C,"flags":N,"payload":, as
// FormatSinkLine writes them, appended through `text`; the line ends with kSinkLineEnd after the
// payload.
void AppendSinkLineHead(JsonText& text, const std::string& sink,
                        const std::set<std::string>& channels, uint8_t flags);
constexpr char kSinkLineEnd[] = "}\n";

// A document as one line of JSON text without the newline, invalid UTF-8 replaced.
std::string DumpDocument(const json& document);

}  // namespace replay
