// kvFlowParser: evaluates flow-filter expressions, compiling each distinct text once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

#include "kv/api.h"
#include "kv/flow.h"
#include "kv/json.h"

// One parser belongs to one thread (the plugin's worker); it is not shared.
class KV_API kvFlowParser {
 public:
  kvFlowParser();
  ~kvFlowParser();
  kvFlowParser(const kvFlowParser&) = delete;
  kvFlowParser& operator=(const kvFlowParser&) = delete;

  // True when `flow` matches `expr`. Holds the flow's lock while it reads the flow. Throws a
  // std::string naming the expression and the position on a bad expression.
  bool Parse(const std::shared_ptr<kvFlow>& flow, std::unordered_map<std::string, json>& vars,
             const std::string& expr);

  // How many distinct expression texts are compiled and cached (bad ones included).
  size_t CachedCount() const { return cache.size(); }

  struct Compiled;  // opaque compiled expression

 private:
  std::unordered_map<std::string, std::shared_ptr<const Compiled>> cache;
};
