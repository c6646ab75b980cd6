// DnsNameCache: addresses seen in DNS answers, with the name that was asked, for a while.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

namespace capture {

// Used by the one thread that plays the capture. Holds at most `capacity` addresses; the oldest
// answer gives way to a new one. An entry lasts `lifetime_us` of capture time from its answer.
class DnsNameCache {
 public:
  DnsNameCache(size_t capacity, uint64_t lifetime_us);

  // Remembers `name` for the address (version 4 or 6, bytes as in DnsAnswer) seen at `now_us`.
  void Add(uint8_t version, const uint8_t* addr, const std::string& name, uint64_t now_us);
  // The name remembered for the address at `now_us`, or "" (also once it has lapsed).
  std::string Find(uint8_t version, const uint8_t* addr, uint64_t now_us) const;
  size_t Size() const { return entries.size(); }

 private:
  struct Entry {
    std::string name;
    uint64_t expires_us = 0;
    std::list<std::string>::iterator age;  // place in `oldest_first`
  };
  static std::string Key(uint8_t version, const uint8_t* addr);

  size_t capacity;
  uint64_t lifetime_us;
  std::unordered_map<std::string, Entry> entries;
  std::list<std::string> oldest_first;  // keys in answer order
};

}  // namespace capture
