// NdpiModule: one nDPI detection module with every protocol enabled, and the per-flow state it
// classifies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/capture/classify/ndpi.h"

namespace capture {

// Frees an nDPI flow structure.
struct NdpiFlowFree {
  void operator()(ndpi_flow_struct* flow) const;
};
using NdpiFlow = std::unique_ptr<ndpi_flow_struct, NdpiFlowFree>;

// Used by one thread at a time (nDPI's module is not thread-safe).
class NdpiModule {
 public:
  // Throws CaptureError when nDPI cannot be set up.
  NdpiModule();
  ~NdpiModule();
  NdpiModule(const NdpiModule&) = delete;
  NdpiModule& operator=(const NdpiModule&) = delete;

  // A zeroed flow structure; throws std::bad_alloc when there is no memory.
  static NdpiFlow NewFlow();

  ndpi_detection_module_struct* Get() const { return module; }
  // The number of protocol codes nDPI knows (codes are 0 to Protocols() - 1).
  uint16_t Protocols() const;
  // nDPI's name of a protocol code ("" for a code out of range).
  std::string Name(uint16_t code) const;
  // nDPI's default category of a protocol code (0 for a code out of range).
  uint32_t Category(uint16_t code) const;

 private:
  ndpi_detection_module_struct* module = nullptr;
};

}  // namespace capture
