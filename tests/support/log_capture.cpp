// LogCapture: routes the stand-in's log lines into a list a test can read.
#include "support/log_capture.h"

#include "kv/standin.h"

namespace korvel_test {

LogCapture::LogCapture(bool debug) : previous_debug(kvStandIn::GetDebug()) {
  kvStandIn::SetDebug(debug);
  kvStandIn::SetLogHandler([this](bool is_debug, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    lines.push_back({is_debug, text});
  });
}

LogCapture::~LogCapture() {
  kvStandIn::SetLogHandler(nullptr);
  kvStandIn::SetDebug(previous_debug);
}

std::vector<std::string> LogCapture::Lines() const {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::string> out;
  for (const Line& line : lines) out.push_back(line.text);
  return out;
}

std::vector<std::string> LogCapture::PrintedLines() const {
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::string> out;
  for (const Line& line : lines) {
    if (!line.debug) out.push_back(line.text);
  }
  return out;
}

void LogCapture::Clear() {
  std::lock_guard<std::mutex> guard(lock);
  lines.clear();
}

}  // namespace korvel_test
