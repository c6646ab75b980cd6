// kvInterfaceAddr::FindAllOf and kvInterfaceAddr::Encode: the texts of an address set's members.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "kv/interface.h"

// Any thread. Holds `lock` while it asks for member texts, so the order is: this set's lock, then
// the address-text lock of kvAddr::GetString.
bool kvInterfaceAddr::FindAllOf(const std::vector<uint8_t>& families,
                                std::vector<std::string>& out) const {
  const size_t length_on_entry = out.size();
  std::lock_guard<std::mutex> guard(lock);
  for (const kvAddr& addr : addrs) {
    const sa_family_t family = addr.Family();
    const bool wanted = std::any_of(families.begin(), families.end(),
                                    [family](uint8_t entry) { return entry == family; });
    if (wanted) out.push_back(addr.GetString(kvAddr::MAKE_DEFAULT));
  }
  return out.size() > length_on_entry;
}

// Any thread; the endpoint payload calls it with the interface's endpoint lock held. Holds `lock`
// while it asks for member texts and writes them (set lock, then the address-text lock).
template <typename J>
void kvInterfaceAddr::Encode(J& j, const std::string& key) const {
  // Lists are always written as arrays, so no separator is needed.
  static const std::string kNoSeparator;
  std::lock_guard<std::mutex> guard(lock);
  if (addrs.empty()) return;
  std::vector<std::string> texts;
  texts.reserve(addrs.size());
  for (const kvAddr& addr : addrs) texts.push_back(addr.GetString(kvAddr::MAKE_DEFAULT));
  serialize(j, Path{key}, texts, kNoSeparator);
}

template void kvInterfaceAddr::Encode<json>(json&, const std::string&) const;
