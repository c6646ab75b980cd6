// How much the reliability tests do: the full counts in a plain build, fewer under the sanitizers
// and under valgrind, which slow every instruction down many times.
#pragma once

#include <cstddef>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif

namespace korvel_test {

// The divisor of the stress counts for the running build: 1 in a plain build, 4 in a sanitized
// build (the sanitizers make each event several times dearer), 40 under valgrind.
inline size_t StressDivisor() {
#ifdef RUNNING_ON_VALGRIND
  if (RUNNING_ON_VALGRIND) return 40;
#endif
#ifdef KORVEL_SANITIZED
  return 4;
#else
  return 1;
#endif
}

// True where a test may allocate and walk hundreds of megabytes without taking minutes: not
// under valgrind.
inline bool RunsNatively() {
#ifdef RUNNING_ON_VALGRIND
  return !RUNNING_ON_VALGRIND;
#else
  return true;
#endif
}

}  // namespace korvel_test
