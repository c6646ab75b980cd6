// WaitUntil: polls a condition that another thread makes true, with a bound against hangs.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace korvel_test {

// True once `condition` holds; false if it still does not after `limit`.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace korvel_test
