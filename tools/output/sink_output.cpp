// SinkOutput: writes each sink call as a JSON line and, with --sink-dir, into per-channel files.
#include "tools/output/sink_output.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

#include "tools/output/sink_line.h"

namespace replay {

SinkOutput::SinkOutput(std::FILE* out_, std::string out_name_, SinkFiles* files_, Report report_)
    : out(out_), out_name(std::move(out_name_)), files(files_), report(std::move(report_)) {}

void SinkOutput::Fail(const std::string& message) {
  failed = true;
  report(message);
}

void SinkOutput::Record(const std::string& sink, const std::set<std::string>& channels,
                        const json& payload, uint8_t flags) noexcept {
  calls.fetch_add(1);
  std::lock_guard<std::mutex> guard(lock);
  busy.store(true);
  try {
    const std::string text = DumpDocument(payload);
    const std::string line = FormatSinkLine(sink, channels, text, flags);
    if (!out_failed && std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
      out_failed = true;
      Fail(out_name + ": " + std::strerror(errno));
    }
    if (files != nullptr) {
      for (const std::string& channel : channels) {
        const std::string error = files->Write(sink, channel, payload, text, flags);
        if (!error.empty()) Fail(error);
      }
    }
  } catch (const std::exception& e) {
    Fail(std::string("cannot record a sink call: ") + e.what());
  }
  busy.store(false);
}

bool SinkOutput::Finish() {
  std::lock_guard<std::mutex> guard(lock);
  if (!out_failed && std::fflush(out) != 0) {
    out_failed = true;
    Fail(out_name + ": " + std::strerror(errno));
  }
  if (files != nullptr) {
    for (const std::string& error : files->Close()) Fail(error);
  }
  return !failed;
}

}  // namespace replay
