// The flow encoder with every section on a fully populated TLS flow, against the same document
// built straight from literal values.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/floor_document.h"
#include "bench/sample_flow.h"

namespace {

void BM_EncodeFlowFull(benchmark::State& state) {
  const auto iface = std::make_shared<kvInterface>("eth0", kvInterface::ROLE_LAN);
  const auto flow = korvel_bench::MakeSampleFlow(iface);
  const kvFlowStats stats = korvel_bench::SampleStats();
  for (auto _ : state) {
    json document;
    flow->Encode(document, stats, kvFlow::ENCODE_ALL);
    benchmark::DoNotOptimize(document);
  }
}
BENCHMARK(BM_EncodeFlowFull);

void BM_EncodeFloor(benchmark::State& state) {
  for (auto _ : state) {
    json document = korvel_bench::FloorFlowDocument();
    benchmark::DoNotOptimize(document);
  }
}
BENCHMARK(BM_EncodeFloor);

}  // namespace
