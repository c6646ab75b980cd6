// CopyDetails: the protocol details nDPI found in a flow, copied into the daemon's flow record.
#pragma once

#include <cstddef>
#include <string>

#include "kv/flow.h"
#include "tools/capture/classify/ndpi.h"

namespace capture {

// How the SSH banners were seen: nDPI keeps the first banner as the client's, so when the server
// spoke first the two are exchanged.
enum class SshFirst : uint8_t { kUnknown, kClient, kServer };

// A detail text as the flow keeps it: the bytes as sent (invalid UTF-8 included), cut at
// kDpiMaxDetailText bytes and at the first NUL.
std::string DetailText(const char* text, size_t max_bytes);

// The common name of a distinguished name as nDPI writes it ("C=US, O=x, CN=name"), or "".
std::string CommonName(const std::string& dn);

// Copies into `flow` (whose lock the caller holds) the details of `ndpi` that its detected
// protocols carry: host server name, HTTP user agent and URL, DHCP fingerprint and class
// identifier, SSH agents, TLS version, cipher suite, certificate names and fingerprint, client
// ALPN list, BitTorrent info hash. Fields nDPI left empty are left as they are.
void CopyDetails(const ndpi_flow_struct& ndpi, SshFirst ssh_first, kvFlow& flow);

}  // namespace capture
