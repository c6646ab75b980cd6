// kppDocumentDispatch: how the periodic builders hand a document on, by channel type.
#pragma once

#include <functional>

#include "config/channel_config.h"
#include "kv/json.h"

// Sends `document` to every channel whose types include `type`; may throw, which ends the
// family being built.
using kppDocumentDispatch = std::function<void(kppChannelConfig::Type, const json& document)>;
