// AllocationCount: how many times the calling thread has called the global operator new.
#pragma once

#include <cstddef>

namespace korvel_test {

// Counts every global operator new of the calling thread since it started; the test binary
// replaces the global allocation functions to keep this count.
size_t AllocationCount();

}  // namespace korvel_test
