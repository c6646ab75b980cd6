// kvInterface and kvInterfaceAddr: construction, copying and the host's address inserts.
#include "kv/interface.h"

kvInterfaceAddr::kvInterfaceAddr(const kvInterfaceAddr& other) : kvSerializer(other) {
  std::lock_guard<std::mutex> guard(other.lock);
  addrs = other.addrs;
}

kvInterfaceAddr& kvInterfaceAddr::operator=(const kvInterfaceAddr& other) {
  if (this != &other) {
    std::scoped_lock guard(lock, other.lock);
    addrs = other.addrs;
  }
  return *this;
}

void kvInterfaceAddr::Insert(const kvAddr& addr) {
  std::lock_guard<std::mutex> guard(lock);
  addrs.insert(addr);
}

kvInterface::kvInterface(const std::string& name_, uint8_t role_) : name(name_), role(role_) {}
