// kppEncodeFlowEvent: the flow-event document of one queued flow event.
#pragma once

#include <cstdint>

#include "kv/flow.h"
#include "kv/json.h"
#include "payload/flow_event.h"
#include "payload/interface_flows.h"

// The flags the event document of kind `kind` is encoded with: the full encoding for a
// flow-statistics event whose encoding is filed (`files_full`), the counters for one whose is not.
kvFlags<kvFlow::EncodeFlags> kppFlowEventEncoding(uint16_t kind, bool files_full);

// Fills `document` with the flow-event document of `event` ("type", "reason" for a purge,
// "interface", "internal", "flow"); leaves it untouched for an event of another kind or without
// a flow. A flow-statistics event also files the flow's full encoding in `interface_flows`
// under its interface and digest, unless the digest is there already; with `interface_flows`
// null (no legacy document will take the update's flows) it is encoded counters only, into the
// same document. Takes the flow's lock while it reads the flow.
void kppEncodeFlowEvent(const kppFlowEvent& event, kppInterfaceFlows* interface_flows,
                        json& document);
