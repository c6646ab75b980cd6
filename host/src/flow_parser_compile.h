// CompileFilter: turns the text of a filter expression into its node tree.
#pragma once

#include <memory>
#include <string_view>

#include "flow_parser_program.h"

namespace kvFilter {

// Compiles `expr`. Never throws for a bad text: the result then carries the error message instead.
std::shared_ptr<const kvFlowParser::Compiled> CompileFilter(std::string_view expr);

}  // namespace kvFilter
