// Console: whole lines to standard error, and a progress line redrawn in place on a terminal.
#include "tools/output/console.h"

#include <cstdio>

#include "tools/constants.h"

namespace replay {

namespace {

constexpr const char* kEraseLine = "\r\033[K";

}  // namespace

Console::Console(bool progress, std::FILE* stream_)
    : stream(stream_),
      enabled(progress),
      start(std::chrono::steady_clock::now()),
      last_draw(start) {}

void Console::Erase() {
  if (!shown) return;
  std::fputs(kEraseLine, stream);
  shown = false;
}

void Console::Report(const std::string& message) {
  Line(std::string(kProgramName) + ": " + message);
}

void Console::Line(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock);
  Erase();
  std::fwrite(text.data(), 1, text.size(), stream);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stream);
  std::fflush(stream);
}

void Console::Progress(uint64_t ops, uint64_t calls) {
  if (!enabled) return;
  Draw(std::to_string(ops) + " ops played, " + std::to_string(calls) + " sink calls");
}

void Console::LiveProgress(const LiveProgressFigures& f) {
  if (!enabled) return;
  char rates[96];
  std::snprintf(rates, sizeof rates, "; %.0f packets/s, %.0f documents/s", f.packets_per_s,
                f.documents_per_s);
  Draw(std::to_string(f.packets) + " packets, " + std::to_string(f.flows) + " flows, " +
       std::to_string(f.documents) + " documents, " + std::to_string(f.dropped) +
       " capture drops" + rates);
}

void Console::Draw(const std::string& text) {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> guard(lock);
  if (!enabled || now - start < kProgressDelay ||
      (shown && now - last_draw < kProgressInterval)) {
    return;
  }
  last_draw = now;
  std::fprintf(stream, "%s%s: %s", kEraseLine, kProgramName, text.c_str());
  std::fflush(stream);
  shown = true;
}

void Console::EndProgress() {
  std::lock_guard<std::mutex> guard(lock);
  Erase();
  enabled = false;
  std::fflush(stream);
}

}  // namespace replay
