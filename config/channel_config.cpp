// kppChannelConfig::Load: fills a channel's settings from one object of the configuration file.
#include "config/channel_config.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "config/json_refs.h"
#include "config/vocabulary.h"
#include "kv/exception.h"

namespace {

using kpp::config::NamedValue;

// The number `name` stands for in `names`; throws kvException naming `field` and `name` when it
// is none of them. Names are compared whole and case-sensitively.
template <size_t N>
uint8_t ValueOf(const NamedValue (&names)[N], const char* field, const std::string& name) {
  for (const NamedValue& entry : names) {
    if (std::string_view(name) == entry.name) return entry.value;
  }
  throw kvException("%s: %s: %s: %s", kpp::config::kLoadSignature, field, name.c_str(),
                    strerror(EINVAL));
}

}  // namespace

void kppChannelConfig::Load(const std::string& /*name*/, const json& object) {
  // find() on a value that is not an object finds nothing, so such a value changes nothing.
  auto member = object.find(kpp::config::kKeyTypes);
  if (member != object.end() && member->is_array()) {
    // The whole list must be strings before any of it is used.
    for (const json& element : *member) kpp::config::StringRef(element);
    for (const json& element : *member) {
      types |= ValueOf(kpp::config::kTypeNames, kpp::config::kFieldType,
                       kpp::config::StringRef(element));
    }
  }

  member = object.find(kpp::config::kKeyFormat);
  if (member != object.end() && member->is_string()) {
    format = ValueOf(kpp::config::kFormatNames, kpp::config::kFieldFormat,
                     kpp::config::StringRef(*member));
  }

  member = object.find(kpp::config::kKeyCompressor);
  if (member != object.end() && member->is_string()) {
    compress = ValueOf(kpp::config::kCompressorNames, kpp::config::kFieldCompressor,
                       kpp::config::StringRef(*member)) != 0;
  }
}
