// libpcap's 32-bit capture counters as deltas: forward steps, wraps, and steps back that must not
// turn into huge counts.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/capture/read/pcap_counter.h"

namespace {

struct CounterCase {
  const char* name;
  uint32_t start;
  std::vector<uint32_t> readings;
  std::vector<uint64_t> deltas;
};

TEST(PcapCounterTest, DeltasOfForwardStepsWrapsAndStepsBack) {
  const CounterCase cases[] = {
      {"steady", 0, {0, 5, 5, 12}, {0, 5, 0, 7}},
      {"from a start above 0", 100, {100, 140}, {0, 40}},
      {"through the wrap", 4294967290u, {4294967295u, 3, 10}, {5, 4, 7}},
      {"a reset to 0 counts nothing, then counts from there", 1000, {1500, 0, 20}, {500, 0, 20}},
      {"a small step back", 1000, {990, 995}, {0, 5}},
      {"the largest step forward", 0, {2147483647u}, {2147483647u}},
      {"one more is a step back", 0, {2147483648u, 2147483650u}, {0, 2}},
  };
  for (const CounterCase& c : cases) {
    capture::PcapCounter counter;
    counter.Start(c.start);
    std::vector<uint64_t> deltas;
    for (uint32_t reading : c.readings) deltas.push_back(counter.Advance(reading));
    EXPECT_EQ(deltas, c.deltas) << c.name;
  }
}

}  // namespace
