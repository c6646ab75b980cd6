// CopyDetails: reading nDPI's per-flow details, only from the part of its protocol union that the
// flow's detected protocols own.
#include "tools/capture/classify/detail_copy.h"

#include <algorithm>
#include <cstring>

#include "tools/capture/constants.h"

namespace capture {

namespace {

bool Has(const ndpi_flow_struct& ndpi, uint16_t code) {
  return ndpi.detected_protocol_stack[0] == code || ndpi.detected_protocol_stack[1] == code;
}

// nDPI 4.2 uses its TLS part of the protocol union for these protocols only.
bool UsesTls(const ndpi_flow_struct& ndpi) {
  return Has(ndpi, NDPI_PROTOCOL_TLS) || Has(ndpi, NDPI_PROTOCOL_DTLS) ||
         Has(ndpi, NDPI_PROTOCOL_QUIC);
}

// Sets the field from a text of at most `size` bytes (a fixed array of nDPI's, or a pointer to a
// NUL-terminated text), cut at the cap.
void SetText(std::string& field, const char* text, size_t size = kDpiMaxDetailText) {
  std::string value = DetailText(text, std::min(size, kDpiMaxDetailText));
  if (!value.empty()) field = std::move(value);
}

bool AllZero(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; i++) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

void CopyTls(const ndpi_flow_struct& ndpi, kvFlow& flow) {
  const auto& tls = ndpi.protos.tls_quic;
  if (tls.ssl_version != 0) flow.tls.version = tls.ssl_version;
  if (tls.server_cipher != 0) flow.tls.cipher_suite = tls.server_cipher;
  SetText(flow.tls.issuer_dn, tls.issuerDN);
  SetText(flow.tls.subject_dn, tls.subjectDN);
  if (tls.subjectDN) {
    std::string cn = CommonName(DetailText(tls.subjectDN, kDpiMaxDetailText));
    if (!cn.empty()) flow.tls.server_cn = std::move(cn);
  }
  const uint8_t* sha1 = tls.sha1_certificate_fingerprint;
  if (!AllZero(sha1, sizeof(tls.sha1_certificate_fingerprint))) {
    flow.tls.cert_fingerprint.assign(sha1, sha1 + sizeof(tls.sha1_certificate_fingerprint));
  }
  if (tls.alpn && tls.alpn[0] != '\0') {
    // nDPI keeps the client's list as one comma-separated text.
    const std::string list = DetailText(tls.alpn, kDpiMaxDetailText);
    std::vector<std::string> alpn;
    size_t start = 0;
    while (start <= list.size() && alpn.size() < kDpiMaxAlpnEntries) {
      size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      if (comma > start) alpn.push_back(list.substr(start, comma - start));
      start = comma + 1;
    }
    if (!alpn.empty()) flow.tls.alpn = std::move(alpn);
  }
}

}  // namespace

std::string DetailText(const char* text, size_t max_bytes) {
  if (!text) return "";
  const void* end = std::memchr(text, '\0', max_bytes);
  const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : max_bytes;
  return std::string(text, length);
}

std::string CommonName(const std::string& dn) {
  size_t at = 0;
  for (;;) {
    at = dn.find("CN=", at);
    if (at == std::string::npos) return "";
    if (at == 0 || dn[at - 1] == ' ' || dn[at - 1] == ',' || dn[at - 1] == '/') break;
    at += 3;
  }
  const size_t start = at + 3;
  size_t end = dn.find(", ", start);
  if (end == std::string::npos) end = dn.size();
  return dn.substr(start, end - start);
}

void CopyDetails(const ndpi_flow_struct& ndpi, SshFirst ssh_first, kvFlow& flow) {
  SetText(flow.host_server_name, reinterpret_cast<const char*>(ndpi.host_server_name),
          sizeof(ndpi.host_server_name));
  SetText(flow.user_agent, ndpi.http.user_agent);
  SetText(flow.http_url, ndpi.http.url);

  if (UsesTls(ndpi)) {
    CopyTls(ndpi, flow);
  } else if (Has(ndpi, NDPI_PROTOCOL_DHCP)) {
    const auto& dhcp = ndpi.protos.dhcp;
    SetText(flow.dhcp_fingerprint, dhcp.fingerprint, sizeof(dhcp.fingerprint));
    SetText(flow.dhcp_class_ident, dhcp.class_ident, sizeof(dhcp.class_ident));
  } else if (Has(ndpi, NDPI_PROTOCOL_SSH)) {
    const auto& ssh = ndpi.protos.ssh;
    std::string first = DetailText(ssh.client_signature, sizeof(ssh.client_signature));
    std::string second = DetailText(ssh.server_signature, sizeof(ssh.server_signature));
    if (ssh_first == SshFirst::kServer) std::swap(first, second);
    if (!first.empty()) flow.ssh_client_agent = std::move(first);
    if (!second.empty()) flow.ssh_server_agent = std::move(second);
  } else if (Has(ndpi, NDPI_PROTOCOL_BITTORRENT)) {
    const auto& bt = ndpi.protos.bittorrent;
    if (!AllZero(bt.hash, sizeof(bt.hash)))
      flow.bt_info_hash.assign(bt.hash, bt.hash + sizeof(bt.hash));
  }
}

}  // namespace capture
