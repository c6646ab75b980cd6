// SinkOutput: writes each sink call as a JSON line and, with --sink-dir, into per-channel files.
#include "tools/output/sink_output.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <string_view>
#include <utility>

#include "tools/output/sink_line.h"

namespace replay {

namespace {

// The line's storage is kept for the next call up to this size; a rare larger document (a legacy
// document of many flows) gives its storage back.
constexpr size_t kKeptLineBytes = size_t{4} << 20;

}  // namespace

SinkOutput::SinkOutput(std::FILE* out_, std::string out_name_, SinkFiles* files_, Report report_)
    : out(out_), out_name(std::move(out_name_)), files(files_), report(std::move(report_)) {}

void SinkOutput::Fail(const std::string& message) {
  failed = true;
  report(message);
}

void SinkOutput::FailQuietly(const char* what, const char* detail) noexcept {
  failed = true;
  try {
    report(std::string(what) + detail);
  } catch (...) {
    // The report itself failed (memory, the console): the failure still counts in Finish().
  }
}

void SinkOutput::Record(const std::string& sink, const std::set<std::string>& channels,
                        const json& payload, uint8_t flags) noexcept {
  calls.fetch_add(1);
  std::lock_guard<std::mutex> guard(lock);
  busy.store(true);
  try {
    line.clear();
    AppendSinkLineHead(text, sink, channels, flags);
    const size_t payload_begin = line.size();
    text.Value(payload);
    const size_t payload_size = line.size() - payload_begin;
    line += kSinkLineEnd;
    const std::string_view payload_text =
        std::string_view(line).substr(payload_begin, payload_size);
    written = true;
    if (!out_failed && std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
      out_failed = true;
      Fail(out_name + ": " + std::strerror(errno));
    }
    if (files != nullptr) {
      for (const std::string& channel : channels) {
        const std::string error = files->Write(sink, channel, payload, payload_text, flags);
        if (!error.empty()) Fail(error);
      }
    }
    if (line.capacity() > kKeptLineBytes) std::string().swap(line);
  } catch (const std::exception& e) {
    FailQuietly("cannot record a sink call: ", e.what());
  } catch (...) {
    FailQuietly("cannot record a sink call: ", "unknown error");
  }
  busy.store(false);
}

void SinkOutput::Flush() {
  std::lock_guard<std::mutex> guard(lock);
  if (!written) return;
  written = false;
  try {
    if (!out_failed && std::fflush(out) != 0) {
      out_failed = true;
      Fail(out_name + ": " + std::strerror(errno));
    }
    if (files != nullptr) {
      for (const std::string& error : files->Flush()) Fail(error);
    }
  } catch (...) {
    FailQuietly("cannot flush the output: ", "the report failed");
  }
}

void SinkOutput::Reopen(OutputFile* file) {
  std::lock_guard<std::mutex> guard(lock);
  try {
    if (!out_failed && std::fflush(out) != 0) Fail(out_name + ": " + std::strerror(errno));
    if (file != nullptr) {
      const std::string error = file->Reopen();
      out = file->Stream();
      // A file that cannot be opened again is written to no more; the next reopen may mend it.
      out_failed = out == nullptr;
      if (!error.empty()) Fail(error);
    }
    if (files != nullptr) {
      for (const std::string& error : files->Reopen()) Fail(error);
    }
  } catch (...) {
    FailQuietly("cannot reopen the output: ", "the report failed");
  }
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
