// HandedOut: the flows handed to the plugin, and the wait until it has let go of all of them.
#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>

#include "kv/flow.h"

namespace capture {

// Used by the one thread that hands flows to the plugin. A flow's use count just before its first
// hand-over is what the daemon side holds; the plugin has let go once the count is back there (or
// the flow is gone). The daemon side must not drop references to a remembered flow before Wait.
class HandedOut {
 public:
  // Remembers `flow` just before it is handed over; a flow already remembered keeps the count of
  // its first hand-over.
  void Add(const std::shared_ptr<kvFlow>& flow);
  void Add(const std::weak_ptr<kvFlow>& flow);

  bool Empty() const { return flows.empty(); }
  size_t Size() const { return flows.size(); }

  // Returns once the plugin holds none of the remembered flows, then forgets them all.
  void Wait();
  // Forgets the flows the plugin has let go of; true when it holds none of them any more. For a
  // caller that waits with a deadline of its own.
  bool Released();
  // Forgets every remembered flow without waiting.
  void Clear() { flows.clear(); }

 private:
  struct Entry {
    std::weak_ptr<kvFlow> flow;
    long daemon_uses = 0;
  };
  std::unordered_map<const kvFlow*, Entry> flows;
};

}  // namespace capture
