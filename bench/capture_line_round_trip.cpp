// What moving one cache line between two threads costs on this host while the capture figures are
// taken: the end-to-end run's two threads share every flow record and queued event, its floors
// run on one thread each, so the ratio between them moves with this figure.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace {

// Round trips per repetition: long enough to span the scheduler's placement of both threads,
// short beside the capture figures.
constexpr uint64_t kRoundTrips = 2000000;

// The line the two threads hand to each other: odd values are the benchmark thread's turn
// given to the echo thread, even values the echo thread's answer.
struct alignas(64) SharedLine {
  std::atomic<uint64_t> turn{0};
};

void BM_CaptureLineRoundTrip(benchmark::State& state) {
  // With one processor each hand-over would wait for the scheduler.
  if (std::thread::hardware_concurrency() < 2) {
    state.SkipWithError("needs two processors");
    return;
  }
  for (auto _ : state) {
    SharedLine line;
    std::thread echo([&line] {
      for (uint64_t i = 0; i < kRoundTrips; i++) {
        while (line.turn.load(std::memory_order_acquire) != 2 * i + 1) {
        }
        line.turn.store(2 * i + 2, std::memory_order_release);
      }
    });
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < kRoundTrips; i++) {
      line.turn.store(2 * i + 1, std::memory_order_release);
      while (line.turn.load(std::memory_order_acquire) != 2 * i + 2) {
      }
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    echo.join();
    // Reported per round trip: the time is the whole run divided by the round trips.
    state.SetIterationTime(took.count() / static_cast<double>(kRoundTrips));
  }
}
BENCHMARK(BM_CaptureLineRoundTrip)->Unit(benchmark::kNanosecond)->UseManualTime()->Iterations(1);

}  // namespace
