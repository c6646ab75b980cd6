// korvel-bench: runs the benchmarks with the daemon's global configuration present and the
// plugin's log lines kept off the output; or, started by BM_QueueMemory, measures a queue; or
// writes one of the generated captures for bench/run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "bench/capture_frames.h"
#include "bench/sample_flow.h"
#include "kv/standin.h"

int main(int argc, char** argv) {
  const std::string child = korvel_bench::kQueueMemoryChildOption;
  const std::string mixed = korvel_bench::kWriteMixedCaptureOption;
  const std::string one_packet = korvel_bench::kWriteOnePacketFlowsOption;
  if (argc == 2 && std::string(argv[1]).rfind(child, 0) == 0) {
    return korvel_bench::RunQueueMemoryChild(std::strtoull(argv[1] + child.size(), nullptr, 10));
  }
  if (argc == 2 && std::string(argv[1]).rfind(mixed, 0) == 0) {
    korvel_bench::WriteMixedCapture(argv[1] + mixed.size());
    return 0;
  }
  if (argc == 2 && std::string(argv[1]).rfind(one_packet, 0) == 0) {
    korvel_bench::WriteOnePacketFlowsCapture(argv[1] + one_packet.size(),
                                             korvel_bench::kOnePacketFlows);
    return 0;
  }
  korvel_bench::EnableGlobalConfig();
  kvStandIn::SetLogHandler([](bool, const std::string&) {});
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
