// kvFlow::Encode: the flow record's JSON encoding, built for the library's json type.
#include <mutex>
#include <string>
#include <utility>

#include "encode/flow_sections.h"
#include "encode/keys.h"
#include "kv/digest.h"
#include "kv/flow.h"

namespace {

namespace key = kpp::encode::key;

struct IdentityPaths {
  kvSerializer::Path digest{key::kDigest};
  kvSerializer::Path digest_prev{key::kDigestPrev};
  kvSerializer::Path last_seen_at{key::kLastSeenAt};
};

const IdentityPaths& Paths() {
  static const IdentityPaths paths;
  return paths;
}

}  // namespace

// Called by the plugin's worker (and any thread that owns the document); takes the flow's `lock`
// for the whole encoding, so the document shows one state of the flow while daemon threads update
// it. Address texts are made under kvAddr::GetString's lock, always taken after this one.
template <typename J>
void kvFlow::Encode(J& j, const kvFlowStats& stats_snapshot, kvFlags<EncodeFlags> flags) const {
  std::lock_guard<std::recursive_mutex> guard(lock);
  const IdentityPaths& paths = Paths();
  const bool lower_is_local = lower_map != LOWER_MAP_OTHER;

  // The newest digest is "digest"; "digest_prev" lists the whole history, oldest first.
  json history = json::array();
  json::array_t& texts = history.get_ref<json::array_t&>();
  std::string text;
  if (digest_history.empty()) {
    kv_xxh64_to_string(digest, text);
    texts.emplace_back(text);
  } else {
    texts.reserve(digest_history.size());
    for (const uint64_t& entry : digest_history) {
      kv_xxh64_to_string(entry, text);
      texts.emplace_back(text);
    }
  }
  serialize(j, paths.digest, std::move(text));
  serialize(j, paths.digest_prev, std::move(history));
  serialize(j, paths.last_seen_at, static_cast<unsigned long>(ts_last_seen));

  if (flags.Test(ENCODE_METADATA)) kpp::encode::EncodeFlowMetadata(*this, j, lower_is_local);
  if (flags.Test(ENCODE_TUNNELS) && tunnel_type == TUNNEL_GTP) {
    kpp::encode::EncodeFlowTunnel(*this, j, lower_is_local);
  }
  if (flags.Test(ENCODE_STATS)) {
    kpp::encode::EncodeFlowCounters(*this, j, stats_snapshot, lower_is_local);
  }
}

template void kvFlow::Encode<json>(json&, const kvFlowStats&, kvFlags<kvFlow::EncodeFlags>) const;
