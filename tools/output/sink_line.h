// FormatSinkLine: one recorded sink call as the line korvel-replay writes for it.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "kv/json.h"

namespace replay {

// {"sink":S,"channel":C,"flags":N,"payload":DOC} and a newline, members in that order, invalid
// UTF-8 replaced; `payload_text` is the document as DumpDocument made it. "channel" is the
// channel's name when the call names exactly one (as this plugin's calls always do), else an
// array of the names.
std::string FormatSinkLine(const std::string& sink, const std::set<std::string>& channels,
                           const std::string& payload_text, uint8_t flags);

// A document as one line of JSON text without the newline, invalid UTF-8 replaced.
std::string DumpDocument(const json& document);

}  // namespace replay
