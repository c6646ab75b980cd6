// Limits of the flow-filter language: how deep an expression may nest, how many a parser caches.
#pragma once

#include <cstddef>

namespace kvFilter {

// Nesting levels an expression may open with "(" and "!" together; one more is an error, so a
// hostile text can neither exhaust the stack of the compiler nor that of the evaluator.
constexpr size_t kMaxNesting = 256;

// Distinct expression texts one parser keeps compiled; the cache is emptied when one more arrives,
// so a stream of ever-new texts cannot grow it without bound.
constexpr size_t kMaxCachedExpressions = 1024;

}  // namespace kvFilter
