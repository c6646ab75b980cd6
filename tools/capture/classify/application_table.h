// ApplicationTable: the applications nDPI 4.2 names, by nDPI's protocol name, with the
// identifier and tag a flow's detected application carries, and the nDPI protocols that are not
// applications.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/capture/classify/ndpi_module.h"
#include "tools/capture/classify/ndpi_protocol_map.h"

namespace capture {

// The capture source's own application identifiers start here, clear of the vocabulary's
// protocol identifiers (named up to 435, nDPI codes up to 447, and the all-ones "TODO").
constexpr uint32_t kFirstOwnApplication = 10000;
// A row whose application the vocabulary already names: the identifier is the vocabulary's.
constexpr uint32_t kVocabularyIdentifier = 0;

// One application: nDPI's protocol name (as ndpi_get_proto_name gives it), its identifier
// (kFirstOwnApplication and up, fixed per row and never reused; or kVocabularyIdentifier) and
// its tag.
struct ApplicationRow {
  const char* ndpi;
  uint32_t id;
  const char* tag;
};

// Why an nDPI protocol is not an application.
enum class NotApplication : uint8_t {
  kNothing,   // no protocol ("Unknown")
  kProtocol,  // a protocol many programs speak (DNS, TLS, BitTorrent, SIP, MySQL...)
  kKind,      // a kind of traffic, not one application (mining, direct downloads)
};

struct NotApplicationRow {
  const char* ndpi;
  NotApplication reason;
};

// Every application of nDPI 4.2 but those kvProto::AppTags tags (their rows come from there).
extern const ApplicationRow kApplicationRows[];
extern const size_t kApplicationRowCount;
// Every nDPI 4.2 protocol that is not an application.
extern const NotApplicationRow kNotApplicationRows[];
extern const size_t kNotApplicationRowCount;

// A flow's detected application.
struct Application {
  uint32_t id = 0;
  const char* tag = nullptr;  // nullptr: not an application
};

// Built once from a module's protocols and the protocol map; read-only afterwards, any thread.
class ApplicationTable {
 public:
  ApplicationTable(const NdpiModule& module, const NdpiProtocolMap& map);

  // The application of an nDPI protocol code; id 0 and no tag when it is not one.
  Application Of(uint16_t code) const;
  // Every application nDPI knows, by nDPI name: the rows and the protocols the vocabulary tags.
  const std::unordered_map<std::string, Application>& ByName() const { return by_name; }

 private:
  std::vector<Application> by_code;
  std::unordered_map<std::string, Application> by_name;
};

}  // namespace capture
