// kvFlow: construction and the detail tests the encoders ask before they write a protocol object.
#include "kv/flow.h"

#include "kv/interface.h"

kvFlow::kvFlow() { has_override.fill(-1); }

kvFlow::~kvFlow() = default;

bool kvFlow::Answer(Detail detail, bool computed) const {
  const int8_t forced = has_override[detail];
  return forced < 0 ? computed : forced != 0;
}

bool kvFlow::HasHttpUserAgent() const {
  return Answer(DETAIL_HTTP_USER_AGENT,
                !user_agent.empty() && detected_protocol != kvProto::PROTO_SSDP);
}
bool kvFlow::HasHttpURL() const { return Answer(DETAIL_HTTP_URL, !http_url.empty()); }
bool kvFlow::HasDhcpFingerprint() const {
  return Answer(DETAIL_DHCP_FINGERPRINT, !dhcp_fingerprint.empty());
}
bool kvFlow::HasDhcpClassIdent() const {
  return Answer(DETAIL_DHCP_CLASS_IDENT, !dhcp_class_ident.empty());
}
bool kvFlow::HasSSHClientAgent() const {
  return Answer(DETAIL_SSH_CLIENT_AGENT, !ssh_client_agent.empty());
}
bool kvFlow::HasSSHServerAgent() const {
  return Answer(DETAIL_SSH_SERVER_AGENT, !ssh_server_agent.empty());
}
bool kvFlow::HasTLSClientSNI() const {
  return Answer(DETAIL_TLS_CLIENT_SNI, !host_server_name.empty());
}
bool kvFlow::HasTLSEncryptedCH() const {
  return Answer(DETAIL_TLS_ENCRYPTED_CH, tls.ech_version != 0);
}
bool kvFlow::HasTLSServerCN() const { return Answer(DETAIL_TLS_SERVER_CN, !tls.server_cn.empty()); }
bool kvFlow::HasTLSIssuerDN() const { return Answer(DETAIL_TLS_ISSUER_DN, !tls.issuer_dn.empty()); }
bool kvFlow::HasTLSSubjectDN() const {
  return Answer(DETAIL_TLS_SUBJECT_DN, !tls.subject_dn.empty());
}
bool kvFlow::HasTLSClientJA4() const {
  return Answer(DETAIL_TLS_CLIENT_JA4, !tls.client_ja4.empty());
}
bool kvFlow::HasBTInfoHash() const { return Answer(DETAIL_BT_INFO_HASH, !bt_info_hash.empty()); }
bool kvFlow::HasSSDPUserAgent() const {
  return Answer(DETAIL_SSDP_USER_AGENT,
                !user_agent.empty() && detected_protocol == kvProto::PROTO_SSDP);
}
bool kvFlow::HasMDNSDomainName() const {
  return Answer(DETAIL_MDNS_DOMAIN_NAME, !mdns_answer.empty());
}
bool kvFlow::HasSTUNAddress() const {
  return Answer(DETAIL_STUN_ADDRESS, stun.mapped.HasAddress() || stun.peer.HasAddress() ||
                                         stun.relayed.HasAddress() || stun.response.HasAddress() ||
                                         stun.other.HasAddress());
}
