// kppFailureLog: the worker's account of the documents it could not send, logged without flooding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A kind of failure is its text. The first failure of a kind is logged at once; later ones are
// counted and reported by Summarize, which the worker calls once per update. A kind that has not
// failed again since the last summary is forgotten there, so its next failure is logged at once
// again. Worker thread only.
class kppFailureLog {
 public:
  explicit kppFailureLog(const std::string& tag_) : tag(tag_) {}

  // Notes that `what` (a flow event, a periodic family) failed with `text`, costing `documents`
  // documents. The first of its kind is logged as "TAG: WHAT not sent: TEXT".
  void Record(const char* what, const std::string& text, uint64_t documents);

  // Logs "TAG: N documents not sent since the last update: TEXT" for every kind that cost
  // documents not yet reported, in the order the kinds were first seen (then "TAG: N documents
  // not sent since the last update for other reasons" for the kinds beyond those listed), and
  // starts counting afresh.
  void Summarize();

 private:
  struct Kind {
    std::string text;
    uint64_t unreported = 0;  // documents not yet reported, of failures after the first
    bool failed = true;       // failed since the last summary
  };

  const std::string& tag;
  std::vector<Kind> kinds;  // at most kpp::kFailureKinds
  uint64_t other_documents = 0;
};
