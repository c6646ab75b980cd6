// Fuzzes the flow-filter language: any expression evaluates or is refused with a thrown
// std::string (anything else escaping is a crash), and a parser that has cached many texts answers
// exactly as a fresh one does. The first byte picks the flow, the rest is the expression.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>

#include "kv/flow.h"
#include "kv/flow_parser.h"
#include "kv/interface.h"
#include "kv/json.h"

namespace {

struct Result {
  bool matched = false;
  bool refused = false;
  std::string error;
  bool operator==(const Result& other) const {
    return matched == other.matched && refused == other.refused && error == other.error;
  }
};

Result Evaluate(kvFlowParser& parser, const std::shared_ptr<kvFlow>& flow,
                const std::string& expression) {
  std::unordered_map<std::string, json> vars;
  Result result;
  try {
    result.matched = parser.Parse(flow, vars, expression);
  } catch (const std::string& error) {
    result.refused = true;
    result.error = error;
  }
  return result;
}

std::shared_ptr<kvFlow> TcpFlow() {
  auto flow = std::make_shared<kvFlow>();
  flow->iface = std::make_shared<kvInterface>("eth0", kvInterface::ROLE_LAN);
  flow->lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow->ip_version = 4;
  flow->ip_protocol = 6;
  flow->ip_dscp = 46;
  flow->vlan_id = 20;
  kvAddr::FromString("192.0.2.10:50000", flow->lower_addr);
  kvAddr::FromString("198.51.100.20:443", flow->upper_addr);
  kvAddr::FromString("00:11:22:33:44:55", flow->lower_mac);
  kvAddr::FromString("66:77:88:99:aa:bb", flow->upper_mac);
  flow->detected_protocol = kvProto::PROTO_TLS;
  flow->detected_protocol_name = "TLS";
  flow->detected_application = 126;
  flow->detected_application_name = "Example";
  flow->host_server_name = "www.example.org";
  flow->dns_host_name = "www.example.org";
  return flow;
}

// The other side is local, over IPv6, with a name that is not text.
std::shared_ptr<kvFlow> UdpFlow() {
  auto flow = std::make_shared<kvFlow>();
  flow->iface = std::make_shared<kvInterface>(std::string("w\0an\xff", 5), kvInterface::ROLE_WAN);
  flow->lower_map = kvFlow::LOWER_MAP_OTHER;
  flow->ip_version = 6;
  flow->ip_protocol = 17;
  kvAddr::FromString("[2001:db8::1]:53", flow->lower_addr);
  kvAddr::FromString("[2001:db8::2]:5353", flow->upper_addr);
  flow->detected_protocol_name = std::string("D\0NS", 4);
  flow->host_server_name = std::string(300, 'h');
  return flow;
}

// Nothing set at all, not even the interface.
std::shared_ptr<kvFlow> EmptyFlow() {
  return std::make_shared<kvFlow>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::shared_ptr<kvFlow> flows[] = {TcpFlow(), UdpFlow(), EmptyFlow()};
  // Lives across inputs: its cache fills up and is emptied again.
  static kvFlowParser* cached = new kvFlowParser();
  if (size == 0) return 0;
  const std::shared_ptr<kvFlow>& flow = flows[data[0] % 3];
  const std::string expression(reinterpret_cast<const char*>(data + 1), size - 1);

  kvFlowParser fresh;
  const Result first = Evaluate(fresh, flow, expression);
  const Result again = Evaluate(fresh, flow, expression);
  const Result old = Evaluate(*cached, flow, expression);
  if (!(first == again) || !(first == old)) {
    std::fprintf(stderr,
                 "the filter answered differently from its cache: %d/%d/%s, %d/%d/%s, %d/%d/%s\n",
                 first.matched, first.refused, first.error.c_str(), again.matched, again.refused,
                 again.error.c_str(), old.matched, old.refused, old.error.c_str());
    std::abort();
  }
  if (first.refused && first.error.empty()) {
    std::fprintf(stderr, "an expression was refused without a message\n");
    std::abort();
  }
  return 0;
}
