// kppParseConfig: the configuration file parsed as one JSON document.
#pragma once

#include <string>

#include "config/config_file.h"
#include "kv/json.h"

// Parses the whole of `file` as one document, comments skipped. Every failure becomes a
// kvException starting with `tag` and `path`: "JSON exception: " and the library's message for a
// parse error, the system error text for a failed read (reported ahead of the parse error the
// shortened input may cause), the exception's own text for anything else.
json kppParseConfig(kppConfigFile& file, const std::string& tag, const std::string& path);
