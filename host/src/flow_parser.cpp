// kvFlowParser: placeholder until the filter language lands; matches every flow.
#include "kv/flow_parser.h"

struct kvFlowParser::Compiled {};

kvFlowParser::kvFlowParser() = default;
kvFlowParser::~kvFlowParser() = default;

bool kvFlowParser::Parse(const std::shared_ptr<kvFlow>&, std::unordered_map<std::string, json>&,
                         const std::string&) {
  return true;
}
