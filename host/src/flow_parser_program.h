// kvFlowParser::Compiled: a filter expression compiled into a tree of nodes held in flat arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "flow_parser_field.h"
#include "kv/flow_parser.h"

namespace kvFilter {

enum class Op : uint8_t { EQUAL, NOT_EQUAL, LESS, LESS_EQUAL, GREATER, GREATER_EQUAL };

struct Node {
  enum Kind : uint8_t { KIND_TRUE, KIND_FALSE, KIND_NOT, KIND_AND, KIND_OR, KIND_COMPARE };

  Kind kind = KIND_TRUE;
  // KIND_NOT: the operand's node. KIND_AND, KIND_OR: the first of `count` entries of `children`.
  size_t first = 0;
  size_t count = 0;
  // KIND_COMPARE: `field op literal`, the literal in `number` or `text` as the field's kind says.
  Field field = Field::IP_VERSION;
  FieldKind field_kind = FieldKind::NUMBER;
  Op op = Op::EQUAL;
  uint64_t number = 0;
  std::string text;
};

}  // namespace kvFilter

// Immutable once compiled; shared by the parser's cache and the call evaluating it.
struct kvFlowParser::Compiled {
  // Set when the text is not a valid expression: Parse throws it, and the tree is empty.
  std::string error;
  std::vector<kvFilter::Node> nodes;
  std::vector<size_t> children;  // operand lists of the "&&" and "||" nodes, each contiguous
  size_t root = 0;
};
