// FlowMembers: the members of a "flow" op, one table of kvFlow fields that reads and writes them.
#pragma once

#include <string>

#include "kv/flow.h"
#include "kv/flow_stats.h"
#include "kv/json.h"
#include "tools/scenario/member_table.h"

namespace replay {

// The members of a "flow" op that are the flow's fields ("op", "id" and "interface" aside), and
// those of its objects "category", "tls", "stun", "gtp" and "stats".
extern const MemberTable<kvFlow> kFlowMembers;
extern const MemberTable<kvFlow::Category> kCategoryMembers;
extern const MemberTable<kvFlow::Tls> kTlsMembers;
extern const MemberTable<kvFlow::Stun> kStunMembers;
extern const MemberTable<kvFlow::Gtp> kGtpMembers;
extern const MemberTable<kvFlowStats> kFlowStatsMembers;

// Every member of a "flow" op that the record holds, so that a "flow" op with these members makes
// a new flow equal to `flow` in every field the documents show ("has" overrides and the flow's
// interface pointer aside; "interface" names it by `interface_key`). The caller holds the flow's
// lock.
json FlowMembers(const kvFlow& flow, const std::string& interface_key);

}  // namespace replay
