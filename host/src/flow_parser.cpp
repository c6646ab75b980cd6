// kvFlowParser: compiles each distinct filter text once and evaluates it against flows.
#include "kv/flow_parser.h"

#include <mutex>

#include "flow_parser_compile.h"
#include "flow_parser_constants.h"
#include "flow_parser_evaluate.h"
#include "flow_parser_program.h"

kvFlowParser::kvFlowParser() = default;
kvFlowParser::~kvFlowParser() = default;

// `vars` is part of the daemon's signature; this language has no variables and never reads it.
bool kvFlowParser::Parse(const std::shared_ptr<kvFlow>& flow,
                         std::unordered_map<std::string, json>& /*vars*/, const std::string& expr) {
  auto it = cache.find(expr);
  if (it == cache.end()) {
    if (cache.size() >= kvFilter::kMaxCachedExpressions) cache.clear();
    it = cache.emplace(expr, kvFilter::CompileFilter(expr)).first;
  }
  const Compiled& program = *it->second;
  // A bad text stays cached with its message, so a filter list holding it costs no recompiling.
  if (!program.error.empty()) throw program.error;

  if (!flow) return kvFilter::EvaluateFilter(program, nullptr);
  std::lock_guard<std::recursive_mutex> guard(flow->lock);
  return kvFilter::EvaluateFilter(program, flow.get());
}
