// Endpoint tables: which of the interface's two tables is being filled, under its endpoint lock.
#include "tools/capture/track/endpoint_tables.h"

#include <mutex>

namespace capture {

namespace {

auto& Filling(kvInterface& record) {
  return record.endpoints[(record.endpoint_selector & 1) ? 1 : 0];
}

}  // namespace

void BeginEndpointTable(kvInterface& record) {
  std::lock_guard<std::mutex> guard(record.endpoint_lock);
  Filling(record).clear();
}

void AddEndpoint(kvInterface& record, const uint8_t (&mac)[6], const kvAddr& addr) {
  kvAddr plain = addr;
  if (plain.Family() == AF_INET) plain.storage.in.sin_port = 0;
  if (plain.Family() == AF_INET6) plain.storage.in6.sin6_port = 0;
  const kvAddr device = kvAddr::FromLink(mac);
  std::lock_guard<std::mutex> guard(record.endpoint_lock);
  Filling(record)[device].Insert(plain);
}

void SwitchEndpointTables(kvInterface& record) {
  std::lock_guard<std::mutex> guard(record.endpoint_lock);
  record.endpoint_selector ^= 1;
}

}  // namespace capture
