// NdpiModule: setting up nDPI with every protocol and allocating its per-flow state.
#include "tools/capture/classify/ndpi_module.h"

#include <cstring>
#include <new>

#include "tools/capture/capture_error.h"

namespace capture {

void NdpiFlowFree::operator()(ndpi_flow_struct* flow) const {
  if (flow) ndpi_free_flow(flow);
}

NdpiModule::NdpiModule() {
  module = ndpi_init_detection_module(ndpi_no_prefs);
  if (!module) throw CaptureError("nDPI", "cannot initialise the detection module");
  NDPI_PROTOCOL_BITMASK all;
  NDPI_BITMASK_SET_ALL(all);
  ndpi_set_protocol_detection_bitmask2(module, &all);
  ndpi_finalize_initialization(module);
}

NdpiModule::~NdpiModule() {
  ndpi_exit_detection_module(module);
}

NdpiFlow NdpiModule::NewFlow() {
  void* memory = ndpi_flow_malloc(SIZEOF_FLOW_STRUCT);
  if (!memory) throw std::bad_alloc();
  std::memset(memory, 0, SIZEOF_FLOW_STRUCT);
  return NdpiFlow(static_cast<ndpi_flow_struct*>(memory));
}

uint16_t NdpiModule::Protocols() const {
  return static_cast<uint16_t>(ndpi_get_num_supported_protocols(module));
}

std::string NdpiModule::Name(uint16_t code) const {
  if (code >= Protocols()) return "";
  const char* name = ndpi_get_proto_name(module, code);
  return name ? name : "";
}

uint32_t NdpiModule::Category(uint16_t code) const {
  if (code >= Protocols()) return 0;
  ndpi_protocol protocol;
  protocol.master_protocol = NDPI_PROTOCOL_UNKNOWN;
  protocol.app_protocol = code;
  protocol.category = NDPI_PROTOCOL_CATEGORY_UNSPECIFIED;
  return static_cast<uint32_t>(ndpi_get_proto_category(module, protocol));
}

}  // namespace capture
