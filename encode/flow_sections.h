// The sections of kvFlow::Encode, each written by its own operation while the flow's lock is held.
#pragma once

#include <string>
#include <vector>

#include "kv/flow.h"
#include "kv/flow_stats.h"
#include "kv/json.h"

namespace kpp::encode {

// Every section runs on the thread that called kvFlow::Encode, with the flow's `lock` held by it.
// `lower_is_local` tells whether the flow's lower endpoint is written under the local_ keys.

// Metadata: flags, addresses, ports, detection, "category", the DPI details, "first_seen_at", the
// risk block and the tags.
void EncodeFlowMetadata(const kvFlow& flow, json& j, bool lower_is_local);

// Host names and the protocol objects "http" through "stun".
void EncodeFlowDetails(const kvFlow& flow, json& j);

// "risks" and "tags".
void EncodeFlowRisks(const kvFlow& flow, json& j);

// The "gtp" object of a GTP-tunnelled flow.
void EncodeFlowTunnel(const kvFlow& flow, json& j, bool lower_is_local);

// Byte, packet and rate counters from `stats`, and "tcp" for TCP flows.
void EncodeFlowCounters(const kvFlow& flow, json& j, const kvFlowStats& stats, bool lower_is_local);

// The first-level keys EncodeFlowCounters may write, each once per path (so "tcp" repeats).
std::vector<std::string> FlowCounterKeys();

}  // namespace kpp::encode
