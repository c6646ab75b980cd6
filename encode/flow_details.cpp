// EncodeFlowDetails: the DPI details of a flow (host names, HTTP, DHCP, SSH, TLS, BT, SSDP, mDNS,
// STUN), each object written only when the flow holds data for it.
#include <string>
#include <utility>
#include <vector>

#include "encode/flow_sections.h"
#include "encode/hex_text.h"
#include "encode/keys.h"
#include "encode/texts.h"
#include "kv/digest.h"

namespace kpp::encode {

namespace {

using Path = kvSerializer::Path;

struct DetailPaths {
  Path dns_host_name{"dns_host_name"};
  Path host_server_name{"host_server_name"};
  Path http_user_agent{key::kHttp, key::kUserAgent};
  Path http_url{key::kHttp, "url"};
  Path dhcp_fingerprint{key::kDhcp, key::kFingerprint};
  Path dhcp_class_ident{key::kDhcp, "class_ident"};
  Path ssh_client{key::kSsh, "client"};
  Path ssh_server{key::kSsh, "server"};
  Path ssl_version{key::kSsl, key::kVersion};
  Path ssl_cipher_suite{key::kSsl, "cipher_suite"};
  Path ssl_client_sni{key::kSsl, "client_sni"};
  Path ssl_encrypted_ch_version{key::kSsl, "encrypted_ch_version"};
  Path ssl_server_cn{key::kSsl, "server_cn"};
  Path ssl_issuer_dn{key::kSsl, "issuer_dn"};
  Path ssl_subject_dn{key::kSsl, "subject_dn"};
  Path ssl_client_ja4{key::kSsl, "client_ja4"};
  Path ssl_fingerprint{key::kSsl, key::kFingerprint};
  Path ssl_alpn{key::kSsl, "alpn"};
  Path ssl_alpn_server{key::kSsl, "alpn_server"};
  Path bt_info_hash{"bt", "info_hash"};
  Path ssdp_user_agent{"ssdp", key::kUserAgent};
  Path mdns_answer{"mdns", "answer"};
  Path stun_mapped{key::kStun, "mapped"};
  Path stun_peer{key::kStun, "peer"};
  Path stun_relayed{key::kStun, "relayed"};
  Path stun_response{key::kStun, "response"};
  Path stun_other{key::kStun, "other"};
  // Lists are written as arrays; the separator never reaches the document.
  std::string list_separator{text::kListSeparator};
};

const DetailPaths& Paths() {
  static const DetailPaths paths;
  return paths;
}

std::string Sha1Text(const std::vector<uint8_t>& digest) {
  std::string out;
  kv_sha1_to_string(digest, out);
  return out;
}

void EncodeTls(const kvFlow& flow, json& j, const DetailPaths& paths) {
  const kvFlow::Tls& tls = flow.tls;
  flow.serialize(j, paths.ssl_version, HexText16(tls.version));
  flow.serialize(j, paths.ssl_cipher_suite, HexText16(tls.cipher_suite));
  if (flow.HasTLSClientSNI()) flow.serialize(j, paths.ssl_client_sni, flow.host_server_name);
  if (flow.HasTLSEncryptedCH()) {
    flow.serialize(j, paths.ssl_encrypted_ch_version, HexText16(tls.ech_version));
  }
  if (flow.HasTLSServerCN()) flow.serialize(j, paths.ssl_server_cn, tls.server_cn);
  if (flow.HasTLSIssuerDN()) flow.serialize(j, paths.ssl_issuer_dn, tls.issuer_dn);
  if (flow.HasTLSSubjectDN()) flow.serialize(j, paths.ssl_subject_dn, tls.subject_dn);
  if (flow.HasTLSClientJA4()) flow.serialize(j, paths.ssl_client_ja4, tls.client_ja4);
  if (!tls.cert_fingerprint.empty()) {
    flow.serialize(j, paths.ssl_fingerprint, Sha1Text(tls.cert_fingerprint));
  }
  flow.serialize(j, paths.ssl_alpn, tls.alpn, paths.list_separator);
  flow.serialize(j, paths.ssl_alpn_server, tls.alpn_server, paths.list_separator);
}

void EncodeStun(const kvFlow& flow, json& j, const DetailPaths& paths) {
  const kvFlow::Stun& stun = flow.stun;
  const kvFlags<kvAddr::MakeFlags> with_port = kvAddr::MAKE_WITH_PORT;
  const std::pair<const Path*, const kvAddr*> addresses[] = {
      {&paths.stun_mapped, &stun.mapped},   {&paths.stun_peer, &stun.peer},
      {&paths.stun_relayed, &stun.relayed}, {&paths.stun_response, &stun.response},
      {&paths.stun_other, &stun.other},
  };
  for (const auto& [path, addr] : addresses) {
    if (addr->HasAddress()) flow.serialize(j, *path, addr->GetString(with_port));
  }
}

}  // namespace

void EncodeFlowDetails(const kvFlow& flow, json& j) {
  const DetailPaths& paths = Paths();

  flow.serialize(j, paths.dns_host_name, flow.dns_host_name);
  flow.serialize(j, paths.host_server_name, flow.host_server_name);

  // Each member's test decides alone; the object appears with its first written member.
  if (flow.HasHttpUserAgent()) flow.serialize(j, paths.http_user_agent, flow.user_agent);
  if (flow.HasHttpURL()) flow.serialize(j, paths.http_url, flow.http_url);

  if (flow.HasDhcpFingerprint()) {
    flow.serialize(j, paths.dhcp_fingerprint, flow.dhcp_fingerprint);
  }
  if (flow.HasDhcpClassIdent()) flow.serialize(j, paths.dhcp_class_ident, flow.dhcp_class_ident);

  if (flow.HasSSHClientAgent()) flow.serialize(j, paths.ssh_client, flow.ssh_client_agent);
  if (flow.HasSSHServerAgent()) flow.serialize(j, paths.ssh_server, flow.ssh_server_agent);

  if (flow.GetMasterProtocol() == text::kTlsMasterProtocol ||
      flow.detected_protocol == text::kQuicDetectedProtocol) {
    EncodeTls(flow, j, paths);
  }

  if (flow.HasBTInfoHash()) flow.serialize(j, paths.bt_info_hash, Sha1Text(flow.bt_info_hash));
  if (flow.HasSSDPUserAgent()) flow.serialize(j, paths.ssdp_user_agent, flow.user_agent);
  if (flow.HasMDNSDomainName()) flow.serialize(j, paths.mdns_answer, flow.mdns_answer);

  if (flow.HasSTUNAddress()) EncodeStun(flow, j, paths);
}

}  // namespace kpp::encode
