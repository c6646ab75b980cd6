// kvAddr::GetString: the cached text form of an address, made under one process-wide lock.
#include <mutex>

#include "kv/addr.h"

// Any thread. The process-wide lock guards `cache_flags` and `cache_text` of every address; the
// caller gets a copy taken under it, so its text never changes while another thread rebuilds the
// same address's cache with other flags. Callers that hold a flow's lock or an address set's lock
// take this lock after theirs, never the other way round.
std::string kvAddr::GetString(kvFlags<MakeFlags> flags) const {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  if (flags.Value() == cache_flags && !cache_text.empty()) return cache_text;
  cache_flags = flags.Value();
  try {
    MakeString(*this, cache_text, flags);
  } catch (...) {
    // A text left half made would be served as cached by the next call with these flags.
    cache_text.clear();
    throw;
  }
  return cache_text;
}
