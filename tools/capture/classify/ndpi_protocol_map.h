// NdpiProtocolMap: nDPI 4.2's protocol codes mapped by name onto the daemon's protocol
// identifiers, with the spellings that differ and the protocols the vocabulary lacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kv/ids.h"
#include "tools/capture/classify/ndpi_module.h"

namespace capture {

// An nDPI protocol name and the vocabulary's name of the same protocol.
struct NdpiSpelling {
  const char* ndpi;
  const char* vocabulary;
};

// Every nDPI 4.2 protocol whose name the vocabulary spells differently.
extern const NdpiSpelling kNdpiSpellings[];
extern const size_t kNdpiSpellingCount;
// Every nDPI 4.2 protocol that has no identifier in the vocabulary.
extern const char* const kNdpiUnmappedNames[];
extern const size_t kNdpiUnmappedCount;

// Built once from a module's protocol names; read-only afterwards, any thread.
class NdpiProtocolMap {
 public:
  explicit NdpiProtocolMap(const NdpiModule& module);

  // The identifier of an nDPI protocol code; PROTO_UNKNOWN when it has none (unmapped or out of
  // range).
  kvProto::Id Map(uint16_t code) const;
  // True when the code has an identifier (code 0, "Unknown", maps to 0 and counts as mapped).
  bool Mapped(uint16_t code) const;
  size_t Codes() const { return ids.size(); }

 private:
  std::vector<kvProto::Id> ids;
  std::vector<bool> mapped;
};

}  // namespace capture
