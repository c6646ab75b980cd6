// SinkRecorder: keeps a copy of every document handed to the stand-in's sink dispatch.
#include "support/sink_recorder.h"

#include "kv/standin.h"

namespace korvel_test {

SinkRecorder::SinkRecorder() {
  kvStandIn::SetSinkHandler([this](const std::string& sink, const std::set<std::string>& channels,
                                   const json& payload, uint8_t flags) {
    std::lock_guard<std::mutex> guard(lock);
    calls.push_back({sink, channels, payload, flags});
  });
}

SinkRecorder::~SinkRecorder() {
  kvStandIn::SetSinkHandler(nullptr);
}

std::vector<SinkCall> SinkRecorder::Calls() const {
  std::lock_guard<std::mutex> guard(lock);
  return calls;
}

size_t SinkRecorder::Count() const {
  std::lock_guard<std::mutex> guard(lock);
  return calls.size();
}

void SinkRecorder::Clear() {
  std::lock_guard<std::mutex> guard(lock);
  calls.clear();
}

}  // namespace korvel_test
