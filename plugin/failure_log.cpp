// kppFailureLog: the first failure of each kind at once, the rest as one line per kind and update.
#include "plugin/failure_log.h"

#include "kv/log.h"
#include "plugin/worker_constants.h"

namespace {

const char* DocumentsWord(uint64_t count) {
  return count == 1 ? "document" : "documents";
}

}  // namespace

void kppFailureLog::Record(const char* what, const std::string& text, uint64_t documents) {
  for (Kind& kind : kinds) {
    if (kind.text == text) {
      kind.unreported += documents;
      kind.failed = true;
      return;
    }
  }
  if (kinds.size() >= kpp::kFailureKinds) {
    other_documents += documents;
    return;
  }
  kinds.push_back(Kind{text});
  kv_printf("%s: %s not sent: %s\n", tag.c_str(), what, text.c_str());
}

void kppFailureLog::Summarize() {
  size_t kept = 0;
  for (Kind& kind : kinds) {
    if (kind.unreported != 0) {
      kv_printf("%s: %llu %s not sent since the last update: %s\n", tag.c_str(),
                static_cast<unsigned long long>(kind.unreported), DocumentsWord(kind.unreported),
                kind.text.c_str());
    }
    if (!kind.failed) continue;
    kind.unreported = 0;
    kind.failed = false;
    if (&kinds[kept] != &kind) kinds[kept] = std::move(kind);
    kept++;
  }
  kinds.resize(kept);
  if (other_documents != 0) {
    kv_printf("%s: %llu %s not sent since the last update for other reasons\n", tag.c_str(),
              static_cast<unsigned long long>(other_documents), DocumentsWord(other_documents));
    other_documents = 0;
  }
}
