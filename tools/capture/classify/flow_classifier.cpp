// FlowClassifier: feeding nDPI until it has nothing more to dissect or a packet limit is reached,
// and turning its result into the daemon's protocol, application, category and risk identifiers.
#include "tools/capture/classify/flow_classifier.h"

#include <xxhash.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tables/proto_tables.h"
#include "tables/risk_tables.h"
#include "tools/capture/classify/dns_answers.h"
#include "tools/capture/constants.h"

namespace capture {

namespace {

constexpr char kSshBanner[] = "SSH-";
constexpr size_t kSshBannerBytes = sizeof(kSshBanner) - 1;
constexpr int kRiskBits = 64;

uint32_t PacketLimit(uint8_t protocol) {
  if (protocol == kProtoTcp) return kDpiMaxTcpPackets;
  if (protocol == kProtoUdp) return kDpiMaxUdpPackets;
  return kDpiMaxOtherPackets;
}

const char* NameOf(const std::unordered_map<kvProto::Id, const char*, kvEnumHasher>& table,
                   kvProto::Id id) {
  auto it = table.find(id);
  return it == table.end() ? nullptr : it->second;
}

bool Known(const ndpi_protocol& result) {
  return result.master_protocol != NDPI_PROTOCOL_UNKNOWN ||
         result.app_protocol != NDPI_PROTOCOL_UNKNOWN;
}

// The digest of a flow whose detection completed: its first digest, the detected protocol and
// the host server name.
uint64_t DetectedDigest(uint64_t first, kvProto::Id protocol, const std::string& host) {
  std::vector<uint8_t> bytes(12 + host.size());
  for (int i = 0; i < 8; i++) bytes[i] = static_cast<uint8_t>(first >> (56 - 8 * i));
  const uint32_t id = static_cast<uint32_t>(protocol);
  for (int i = 0; i < 4; i++) bytes[8 + i] = static_cast<uint8_t>(id >> (24 - 8 * i));
  std::memcpy(bytes.data() + 12, host.data(), host.size());
  return XXH64(bytes.data(), bytes.size(), 0);
}

}  // namespace

FlowClassifier::FlowClassifier()
    : map(module), apps(module, map), dns_names(kDnsCacheEntries, kDnsCacheLifetimeUs) {}

DpiStep FlowClassifier::Feed(DpiState& state, const DecodedPacket& packet, bool from_client,
                             uint64_t now_us) {
  if (state.complete || !packet.ip_header || packet.ip_captured == 0) {
    LearnDns(state, packet, now_us);
    return DpiStep::kNone;
  }
  if (!state.ndpi) state.ndpi = NdpiModule::NewFlow();
  if (state.ssh_first == SshFirst::kUnknown && packet.payload &&
      packet.payload_captured >= kSshBannerBytes &&
      std::memcmp(packet.payload, kSshBanner, kSshBannerBytes) == 0) {
    state.ssh_first = from_client ? SshFirst::kClient : SshFirst::kServer;
  }

  state.packets++;
  const uint16_t length = static_cast<uint16_t>(std::min(packet.ip_captured, kDpiMaxPacketBytes));
  ndpi_protocol result = ndpi_detection_process_packet(
      module.Get(), state.ndpi.get(), packet.ip_header, length, now_us / kMicrosPerMilli);
  const bool detected = Known(result);
  bool complete = false;
  if (detected && !ndpi_extra_dissection_possible(module.Get(), state.ndpi.get())) {
    complete = true;
  } else if (state.packets >= PacketLimit(packet.protocol)) {
    if (!detected) {
      uint8_t guessed = 0;
      result = ndpi_detection_giveup(module.Get(), state.ndpi.get(), 1, &guessed);
      state.guessed = guessed != 0;
    }
    complete = true;
  }
  DpiStep step = Result(state, result);
  LearnDns(state, packet, now_us);
  if (complete) {
    state.complete = true;
    step = DpiStep::kComplete;
  }
  return step;
}

void FlowClassifier::GiveUp(DpiState& state) {
  if (state.complete) return;
  state.complete = true;
  if (!state.ndpi || state.known) return;
  uint8_t guessed = 0;
  const ndpi_protocol result = ndpi_detection_giveup(module.Get(), state.ndpi.get(), 1, &guessed);
  state.guessed = guessed != 0;
  Result(state, result);
}

DpiStep FlowClassifier::Result(DpiState& state, const ndpi_protocol& result) {
  state.category = static_cast<uint32_t>(result.category);
  if (!Known(result) ||
      (state.known && result.master_protocol == state.master && result.app_protocol == state.app)) {
    return DpiStep::kNone;
  }
  // A result already reported that a later packet changes (TLS, then TLS.Google once nDPI's
  // further dissection saw the server's name).
  if (state.known) state.updated = true;
  state.known = true;
  state.master = result.master_protocol;
  state.app = result.app_protocol;
  return DpiStep::kUpdated;
}

void FlowClassifier::Write(DpiState& state, uint16_t server_port, kvFlow& flow) {
  // nDPI reports one protocol as application with master 0 (TLS alone is 0/91); with two, the
  // master is the protocol and the application what it carries (TLS.Google, DNS.Zoom).
  const bool two_levels = state.master != NDPI_PROTOCOL_UNKNOWN &&
                          state.app != NDPI_PROTOCOL_UNKNOWN && state.app != state.master;
  const uint16_t code = state.master != NDPI_PROTOCOL_UNKNOWN ? state.master : state.app;
  kvProto::Id detected = map.Map(code);
  kvProto::Id master = detected;
  if (detected == kvProto::PROTO_TLS) {
    // TLS stays the master; the server port names the more specific protocol (443 "HTTP/S").
    auto ports = kvProto::PortMap.find(kvProto::PROTO_TLS);
    if (ports != kvProto::PortMap.end()) {
      for (const auto& pair : ports->second) {
        if (pair.first == server_port) {
          detected = pair.second;
          break;
        }
      }
    }
  }
  flow.detected_protocol = detected;
  flow.master_protocol = master;
  const char* name = NameOf(kvProto::Names, detected);
  flow.detected_protocol_name = name ? name : "";

  // The application nDPI names: the upper of its two protocols, or its only one. Not an
  // application but above another protocol (TLS.DoH_DoT), it is the vocabulary's protocol.
  const uint16_t upper = state.app != NDPI_PROTOCOL_UNKNOWN ? state.app : state.master;
  const Application application = apps.Of(upper);
  if (application.tag) {
    flow.detected_application = application.id;
    flow.detected_application_name = application.tag;
  } else if (two_levels) {
    const kvProto::Id id = map.Map(state.app);
    const char* app_name = id == kvProto::PROTO_UNKNOWN ? nullptr : NameOf(kvProto::Names, id);
    flow.detected_application = static_cast<uint32_t>(id);
    flow.detected_application_name = app_name ? app_name : "";
  } else {
    flow.detected_application = 0;
    flow.detected_application_name = "";
  }

  flow.category.application = state.category;
  flow.category.protocol = module.Category(code);
  flow.category.domain = DomainCategory(flow);
  flow.category.lower_network = NetworkCategory(flow.lower_addr);
  flow.category.upper_network = NetworkCategory(flow.upper_addr);
  flow.detection_guessed = state.guessed;
  flow.detection_updated = state.updated;
  flow.stats.detection_packets = state.packets;

  if (state.ndpi) {
    const ndpi_flow_struct& ndpi = *state.ndpi;
    CopyDetails(ndpi, state.ssh_first, flow);
    flow.risks.clear();
    for (int bit = 0; bit < kRiskBits; bit++) {
      if ((ndpi.risk & (ndpi_risk{1} << bit)) == 0) continue;
      auto risk = kvRisk::NdpiMap.find(static_cast<uint16_t>(bit));
      if (risk != kvRisk::NdpiMap.end()) flow.risks.insert(risk->second);
    }
    uint16_t client = 0, server = 0;
    flow.risk_score = ndpi_risk2score(ndpi.risk, &client, &server);
    flow.risk_score_client = client;
    flow.risk_score_server = server;
  }

  if (state.complete) {
    const uint64_t first = flow.digest_history.empty() ? flow.digest : flow.digest_history.front();
    if (flow.digest_history.empty()) flow.digest_history.push_back(flow.digest);
    flow.digest = DetectedDigest(first, detected, flow.host_server_name);
    flow.digest_history.push_back(flow.digest);
    state.ndpi.reset();
  }
}

void FlowClassifier::NameFromDns(uint8_t version, const uint8_t* server, uint64_t now_us,
                                 kvFlow& flow) const {
  std::string name = dns_names.Find(version, server, now_us);
  if (name.size() > kDpiMaxDetailText) name.resize(kDpiMaxDetailText);
  if (!name.empty()) flow.dns_host_name = std::move(name);
}

uint32_t FlowClassifier::DomainCategory(const kvFlow& flow) const {
  std::string name = flow.host_server_name.empty() ? flow.dns_host_name : flow.host_server_name;
  if (name.empty()) return 0;
  ndpi_protocol_category_t category = NDPI_PROTOCOL_CATEGORY_UNSPECIFIED;
  if (ndpi_get_custom_category_match(module.Get(), name.data(), static_cast<u_int>(name.size()),
                                     &category) != 0) {
    return 0;
  }
  return static_cast<uint32_t>(category);
}

uint32_t FlowClassifier::NetworkCategory(const kvAddr& addr) const {
  if (addr.Family() != AF_INET) return 0;
  in_addr ip = addr.storage.in.sin_addr;
  const uint16_t code = ndpi_network_ptree_match(module.Get(), &ip);
  return code == NDPI_PROTOCOL_UNKNOWN ? 0 : module.Category(code);
}

bool FlowClassifier::IsDns(const DpiState& state) {
  return state.master == NDPI_PROTOCOL_DNS || state.app == NDPI_PROTOCOL_DNS;
}

void FlowClassifier::LearnDns(const DpiState& state, const DecodedPacket& packet,
                              uint64_t now_us) {
  if (packet.protocol != kProtoUdp || !packet.payload || !IsDns(state)) return;
  std::string query;
  std::vector<DnsAnswer> answers;
  if (!ReadDnsAnswers(packet.payload, packet.payload_captured, query, answers)) return;
  for (const DnsAnswer& answer : answers) {
    dns_names.Add(answer.version, answer.addr, query, now_us);
  }
}

}  // namespace capture
