// HandedOut: remembering handed-out flows and waiting for the plugin to let go of them.
#include "tools/capture/handed_out.h"

#include <chrono>
#include <thread>

namespace capture {

namespace {
// The wait polls: first by yielding, then by sleeping this long between looks.
constexpr int kSpinRounds = 64;
constexpr std::chrono::microseconds kPollSleep{50};
}  // namespace

void HandedOut::Add(const std::shared_ptr<kvFlow>& flow) {
  if (!flow) return;
  auto it = flows.find(flow.get());
  if (it != flows.end() && !it->second.flow.expired()) return;
  flows[flow.get()] = Entry{flow, flow.use_count()};
}

void HandedOut::Add(const std::weak_ptr<kvFlow>& flow) {
  std::shared_ptr<kvFlow> held = flow.lock();
  if (!held) return;
  auto it = flows.find(held.get());
  if (it != flows.end() && !it->second.flow.expired()) return;
  // The count seen here includes `held`, which is not the daemon's.
  flows[held.get()] = Entry{flow, held.use_count() - 1};
}

void HandedOut::Wait() {
  int rounds = 0;
  for (auto it = flows.begin(); it != flows.end();) {
    long uses = it->second.flow.use_count();  // 0 once the flow is gone
    if (uses <= it->second.daemon_uses) {
      it = flows.erase(it);
      continue;
    }
    if (++rounds < kSpinRounds) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(kPollSleep);
    }
  }
}

bool HandedOut::Released() {
  for (auto it = flows.begin(); it != flows.end();) {
    if (it->second.flow.use_count() <= it->second.daemon_uses) {
      it = flows.erase(it);
    } else {
      ++it;
    }
  }
  return flows.empty();
}

}  // namespace capture
