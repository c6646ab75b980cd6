// DpiState: where a flow's classification stands, kept beside the tracker's flow state.
#pragma once

#include <cstdint>

#include "tools/capture/classify/detail_copy.h"
#include "tools/capture/classify/ndpi_module.h"

namespace capture {

// Owned by the flow's FlowState; touched only by the thread that plays the capture.
struct DpiState {
  NdpiFlow ndpi;         // nDPI's state of the flow; freed when detection ends
  uint32_t packets = 0;  // packets nDPI looked at
  uint16_t master = 0;   // nDPI's result at the last change: master and application codes
  uint16_t app = 0;
  uint32_t category = 0;  // nDPI's category of the flow
  bool known = false;     // a protocol has been reported
  bool guessed = false;   // the result is nDPI's guess
  bool complete = false;  // detection has ended (event 8 delivered)
  bool updated = false;   // a later packet changed a result already reported
  SshFirst ssh_first = SshFirst::kUnknown;
};

}  // namespace capture
