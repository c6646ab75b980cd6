// Builders of daemon records for tests: interfaces and flows with typical values.
#pragma once

#include <memory>
#include <string>

#include "kv/flow.h"
#include "kv/interface.h"

namespace korvel_test {

std::shared_ptr<kvInterface> MakeInterface(const std::string& name, uint8_t role);

// A TCP flow on `iface` between 192.0.2.10:50000 (lower, local) and 198.51.100.20:443, with
// digest `digest`, both packet counters non-zero and the statistics ready.
std::shared_ptr<kvFlow> MakeFlow(const std::shared_ptr<kvInterface>& iface, uint64_t digest);

}  // namespace korvel_test
