// Endpoint tables: an interface's local devices, filled for each update interval and switched.
#pragma once

#include <cstdint>

#include "kv/addr.h"
#include "kv/interface.h"

namespace capture {

// The table of the interval being filled is the one that is not current; at the switch it
// becomes current and the one before stays as the previous interval's. Called by the tracker's
// thread; each holds the interface's endpoint lock, under which the plugin reads the tables.

// Empties the table the interface fills next.
void BeginEndpointTable(kvInterface& record);
// Adds a local device `mac` with its address `addr`, the port dropped, to the table
// being filled.
void AddEndpoint(kvInterface& record, const uint8_t (&mac)[6], const kvAddr& addr);
// Makes the table filled the current one.
void SwitchEndpointTables(kvInterface& record);

}  // namespace capture
