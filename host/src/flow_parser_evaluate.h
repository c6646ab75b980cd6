// EvaluateFilter: runs a compiled filter expression against one flow.
#pragma once

#include "flow_parser_program.h"
#include "kv/flow.h"

namespace kvFilter {

// True when `flow` matches the valid `program`. The caller holds the flow's lock. A null flow reads
// 0 for every number field and "" for every text field. Allocates nothing once the calling thread
// has made address texts of the longest length it meets.
bool EvaluateFilter(const kvFlowParser::Compiled& program, const kvFlow* flow);

}  // namespace kvFilter
