// Networks: a list of IPv4 and IPv6 networks that an address can be looked up in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

// Built once, then only read; any thread.
class Networks {
 public:
  // Adds "ADDR/BITS" or a single "ADDR" (all bits); false, adding nothing, when the text is not
  // one.
  bool Add(const std::string& text);
  // Adds one address of `version` (4 or 6) with all its bits.
  void AddAddress(uint8_t version, const uint8_t* addr);

  // True when the address (4 or 16 bytes by `version`) lies in one of the networks.
  bool Contains(uint8_t version, const uint8_t* addr) const;

  bool Empty() const { return nets.empty(); }

 private:
  struct Net {
    uint8_t version;
    uint8_t bits;
    uint8_t addr[16];
  };
  std::vector<Net> nets;
};

// Address classes of the other side of a flow.
bool IsMulticast(uint8_t version, const uint8_t* addr);
bool IsBroadcast(uint8_t version, const uint8_t* addr);

}  // namespace capture
