// kvInterface::Encode and kvInterface::EncodeAddrs: an interface's own fields and its IP addresses.
#include <mutex>
#include <string>
#include <vector>

#include "encode/texts.h"
#include "kv/interface.h"

namespace {

namespace text = kpp::encode::text;

struct InterfacePaths {
  kvSerializer::Path role{"role"};
  kvSerializer::Path capture_type{"capture_type"};
  kvSerializer::Path capture_file{"capture_file"};
  kvSerializer::Path mac{"mac"};
};

const InterfacePaths& Paths() {
  static const InterfacePaths paths;
  return paths;
}

const char* RoleText(uint8_t role) {
  switch (role) {
    case kvInterface::ROLE_LAN:
      return text::kRoleLan;
    case kvInterface::ROLE_WAN:
      return text::kRoleWan;
    default:
      return text::kRoleUnknown;
  }
}

const char* CaptureTypeText(uint32_t capture_type) {
  switch (capture_type & ~text::kCaptureTypeIgnoredBits) {
    case kvInterface::CAPTURE_PCAP:
    case kvInterface::CAPTURE_PCAP_OFFLINE:
      return text::kCapturePcap;
    case kvInterface::CAPTURE_TPV3:
      return text::kCaptureTpv3;
    case kvInterface::CAPTURE_NFQ:
      return text::kCaptureNfq;
    default:
      return text::kCaptureUnknown;
  }
}

}  // namespace

// Any thread. Holds `addrs.lock` only to copy the link-layer address; its text is made after the
// lock is released.
template <typename J>
void kvInterface::Encode(J& j) const {
  const InterfacePaths& paths = Paths();
  serialize(j, paths.role, RoleText(role));
  serialize(j, paths.capture_type, CaptureTypeText(capture_type));
  serialize(j, paths.capture_file, capture_file);

  kvAddr mac;
  bool found = false;
  {
    std::lock_guard<std::mutex> guard(addrs.lock);
    for (const kvAddr& addr : addrs.addrs) {
      if (addr.Family() == AF_LINK) {
        mac = addr;
        found = true;
        break;
      }
    }
  }
  if (found) {
    serialize(j, paths.mac, mac.GetString(kvAddr::MAKE_DEFAULT));
  } else {
    serialize(j, paths.mac, text::kNoMac);
  }
}

// Any thread. Takes `addrs.lock` (through FindAllOf), then the address-text lock.
template <typename J>
void kvInterface::EncodeAddrs(J& j, const std::vector<std::string>& keys,
                              const std::string& separator) const {
  static const std::vector<uint8_t> kIpFamilies{AF_INET, AF_INET6};
  std::vector<std::string> texts;
  if (addrs.FindAllOf(kIpFamilies, texts)) serialize(j, keys, texts, separator);
}

template void kvInterface::Encode<json>(json&) const;
template void kvInterface::EncodeAddrs<json>(json&, const std::vector<std::string>&,
                                             const std::string&) const;
