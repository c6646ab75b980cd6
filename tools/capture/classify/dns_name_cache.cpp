// DnsNameCache: a bounded table of answered addresses, oldest answer evicted first.
#include "tools/capture/classify/dns_name_cache.h"

namespace capture {

DnsNameCache::DnsNameCache(size_t capacity_, uint64_t lifetime_us_)
    : capacity(capacity_), lifetime_us(lifetime_us_) {}

std::string DnsNameCache::Key(uint8_t version, const uint8_t* addr) {
  return std::string(1, static_cast<char>(version)) +
         std::string(reinterpret_cast<const char*>(addr), version == 4 ? 4 : 16);
}

void DnsNameCache::Add(uint8_t version, const uint8_t* addr, const std::string& name,
                       uint64_t now_us) {
  if (capacity == 0 || name.empty()) return;
  const std::string key = Key(version, addr);
  auto it = entries.find(key);
  if (it != entries.end()) {
    oldest_first.erase(it->second.age);
    entries.erase(it);
  }
  while (entries.size() >= capacity) {
    entries.erase(oldest_first.front());
    oldest_first.pop_front();
  }
  oldest_first.push_back(key);
  Entry& entry = entries[key];
  entry.name = name;
  entry.expires_us = now_us + lifetime_us;
  entry.age = std::prev(oldest_first.end());
}

std::string DnsNameCache::Find(uint8_t version, const uint8_t* addr, uint64_t now_us) const {
  auto it = entries.find(Key(version, addr));
  if (it == entries.end() || now_us > it->second.expires_us) return "";
  return it->second.name;
}

}  // namespace capture
