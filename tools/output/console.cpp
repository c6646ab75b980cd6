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
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> guard(lock);
  if (now - start < kProgressDelay || (shown && now - last_draw < kProgressInterval)) return;
  last_draw = now;
  std::fprintf(stream, "%s%s: %llu ops played, %llu sink calls", kEraseLine, kProgramName,
               static_cast<unsigned long long>(ops), static_cast<unsigned long long>(calls));
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
