// EncodeFlowTunnel: the "gtp" object of a GTP-tunnelled flow.
#include <arpa/inet.h>

#include "encode/flow_sections.h"
#include "encode/keys.h"
#include "encode/texts.h"

namespace kpp::encode {

namespace {

using Path = kvSerializer::Path;

struct TunnelPaths {
  Path version{key::kGtp, key::kVersion};
  Path ip_version{key::kGtp, key::kIpVersion};
  Path ip_dscp{key::kGtp, key::kIpDscp};
  Path local_ip{key::kGtp, key::kLocalIp};
  Path other_ip{key::kGtp, key::kOtherIp};
  Path local_port{key::kGtp, key::kLocalPort};
  Path other_port{key::kGtp, key::kOtherPort};
  Path local_teid{key::kGtp, "local_teid"};
  Path other_teid{key::kGtp, "other_teid"};
  Path other_type{key::kGtp, key::kOtherType};
};

const TunnelPaths& Paths() {
  static const TunnelPaths paths;
  return paths;
}

const char* GtpOtherTypeText(uint8_t other_type) {
  switch (other_type) {
    case text::kGtpOtherTypeLocal:
      return text::kGtpOtherLocal;
    case text::kGtpOtherTypeRemote:
      return text::kGtpOtherRemote;
    case text::kGtpOtherTypeError:
      return text::kGtpOtherError;
    default:
      return text::kGtpOtherDefault;
  }
}

}  // namespace

void EncodeFlowTunnel(const kvFlow& flow, json& j, bool lower_is_local) {
  const TunnelPaths& paths = Paths();
  const kvFlow::Gtp& gtp = flow.gtp;

  // The tunnel's own lower-map decides its keys; an unknown one keeps the flow's address and port
  // keys and names the lower identifier local.
  bool ip_lower_local = lower_is_local;
  bool teid_lower_local = true;
  if (gtp.lower_map == kvFlow::LOWER_MAP_LOCAL) {
    ip_lower_local = true;
  } else if (gtp.lower_map == kvFlow::LOWER_MAP_OTHER) {
    ip_lower_local = false;
    teid_lower_local = false;
  }

  flow.serialize(j, paths.version, gtp.version);
  flow.serialize(j, paths.ip_version, gtp.ip_version);
  flow.serialize(j, paths.ip_dscp, gtp.ip_dscp);
  flow.serialize(j, ip_lower_local ? paths.local_ip : paths.other_ip,
                 gtp.lower_addr.GetString(kvAddr::MAKE_DEFAULT));
  flow.serialize(j, ip_lower_local ? paths.other_ip : paths.local_ip,
                 gtp.upper_addr.GetString(kvAddr::MAKE_DEFAULT));
  flow.serialize(j, ip_lower_local ? paths.local_port : paths.other_port,
                 static_cast<unsigned short>(gtp.lower_addr.GetPort(true)));
  flow.serialize(j, ip_lower_local ? paths.other_port : paths.local_port,
                 static_cast<unsigned short>(gtp.upper_addr.GetPort(true)));
  flow.serialize(j, teid_lower_local ? paths.local_teid : paths.other_teid,
                 static_cast<unsigned int>(ntohl(gtp.lower_teid)));
  flow.serialize(j, teid_lower_local ? paths.other_teid : paths.local_teid,
                 static_cast<unsigned int>(ntohl(gtp.upper_teid)));
  flow.serialize(j, paths.other_type, GtpOtherTypeText(gtp.other_type));
}

}  // namespace kpp::encode
