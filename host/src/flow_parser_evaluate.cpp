// EvaluateFilter: reads the named fields of a locked flow and walks the compiled tree.
#include "flow_parser_evaluate.h"

#include <string>
#include <string_view>

#include "kv/interface.h"

namespace kvFilter {

namespace {

// The four address fields, whose texts are made at most once per evaluation.
enum AddressSlot : uint8_t {
  SLOT_LOCAL_IP,
  SLOT_OTHER_IP,
  SLOT_LOCAL_MAC,
  SLOT_OTHER_MAC,
  SLOT_COUNT
};

// Text buffers of the address fields, kept per thread so that their capacity is reused from one
// evaluation to the next. Only the owning thread touches them.
struct AddressTexts {
  std::string text[SLOT_COUNT];
};
thread_local AddressTexts address_texts;

// The fields of one flow as the filter sees them, with local and other chosen by the lower-map:
// lower-map 2 makes the lower endpoint "other" and the upper one "local", any other value the
// reverse.
class FlowView {
 public:
  explicit FlowView(const kvFlow* flow_)
      : flow(flow_),
        lower_is_local(flow_ == nullptr || flow_->lower_map != kvFlow::LOWER_MAP_OTHER) {}

  uint64_t Number(Field field) const {
    if (flow == nullptr) return 0;
    switch (field) {
      case Field::IP_VERSION:
        return flow->ip_version;
      case Field::IP_PROTOCOL:
        return flow->ip_protocol;
      case Field::IP_DSCP:
        return flow->ip_dscp;
      case Field::VLAN_ID:
        return flow->vlan_id;
      case Field::LOCAL_PORT:
        return (lower_is_local ? flow->lower_addr : flow->upper_addr).GetPort(true);
      case Field::OTHER_PORT:
        return (lower_is_local ? flow->upper_addr : flow->lower_addr).GetPort(true);
      case Field::DETECTED_PROTOCOL:
        return flow->detected_protocol;
      case Field::DETECTED_APPLICATION:
        return flow->detected_application;
      default:
        return 0;
    }
  }

  std::string_view Text(Field field) {
    if (flow == nullptr) return std::string_view();
    switch (field) {
      case Field::LOCAL_IP:
        return Address(SLOT_LOCAL_IP, lower_is_local ? flow->lower_addr : flow->upper_addr);
      case Field::OTHER_IP:
        return Address(SLOT_OTHER_IP, lower_is_local ? flow->upper_addr : flow->lower_addr);
      case Field::LOCAL_MAC:
        return Address(SLOT_LOCAL_MAC, lower_is_local ? flow->lower_mac : flow->upper_mac);
      case Field::OTHER_MAC:
        return Address(SLOT_OTHER_MAC, lower_is_local ? flow->upper_mac : flow->lower_mac);
      case Field::DETECTED_PROTOCOL_NAME:
        return flow->detected_protocol_name;
      case Field::DETECTED_APPLICATION_NAME:
        return flow->detected_application_name;
      case Field::HOST_SERVER_NAME:
        return flow->host_server_name;
      case Field::DNS_HOST_NAME:
        return flow->dns_host_name;
      case Field::INTERFACE:
        return flow->iface ? std::string_view(flow->iface->name) : std::string_view();
      default:
        return std::string_view();
    }
  }

 private:
  // The address's flags-0 text, unmasked, made on first use in this evaluation.
  std::string_view Address(AddressSlot slot, const kvAddr& addr) {
    std::string& text = address_texts.text[slot];
    const auto bit = static_cast<uint8_t>(1u << slot);
    if ((made & bit) == 0) {
      kvAddr::MakeString(addr, text, kvAddr::MAKE_DEFAULT);
      made = static_cast<uint8_t>(made | bit);
    }
    return text;
  }

  const kvFlow* flow;
  bool lower_is_local;
  uint8_t made = 0;  // one bit per AddressSlot whose text is made
};

bool CompareNumber(uint64_t value, Op op, uint64_t literal) {
  switch (op) {
    case Op::EQUAL:
      return value == literal;
    case Op::NOT_EQUAL:
      return value != literal;
    case Op::LESS:
      return value < literal;
    case Op::LESS_EQUAL:
      return value <= literal;
    case Op::GREATER:
      return value > literal;
    case Op::GREATER_EQUAL:
      return value >= literal;
  }
  return false;
}

// Recursion is bounded by the compiler's nesting limit: "&&" and "||" chains are flat lists.
bool EvaluateNode(const kvFlowParser::Compiled& program, size_t index, FlowView& view) {
  const Node& node = program.nodes[index];
  switch (node.kind) {
    case Node::KIND_TRUE:
      return true;
    case Node::KIND_FALSE:
      return false;
    case Node::KIND_NOT:
      return !EvaluateNode(program, node.first, view);
    case Node::KIND_AND:
      for (size_t i = node.first; i < node.first + node.count; i++) {
        if (!EvaluateNode(program, program.children[i], view)) return false;
      }
      return true;
    case Node::KIND_OR:
      for (size_t i = node.first; i < node.first + node.count; i++) {
        if (EvaluateNode(program, program.children[i], view)) return true;
      }
      return false;
    case Node::KIND_COMPARE:
      if (node.field_kind == FieldKind::NUMBER) {
        return CompareNumber(view.Number(node.field), node.op, node.number);
      }
      return (view.Text(node.field) == node.text) == (node.op == Op::EQUAL);
  }
  return false;
}

}  // namespace

bool EvaluateFilter(const kvFlowParser::Compiled& program, const kvFlow* flow) {
  FlowView view(flow);
  return EvaluateNode(program, program.root, view);
}

}  // namespace kvFilter
