// The replay tool as a user runs it, where its waits used to cost time: a scenario of 1,000
// syncs, a sparse capture whose flows all expire idle, and a one-flow capture beside nDPI's
// reader on the same file. Each run is the whole process, timed by the wall clock.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pcap/pcap.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kReplay = KORVEL_REPLAY_PATH;
constexpr const char* kPlugin = KORVEL_PLUGIN_PATH;
constexpr const char* kConfig = KORVEL_SOURCE_DIR "/examples/korvel-proc-core.json";
constexpr uint64_t kCaptureStartUs = 1700000000ull * 1000000;
constexpr uint64_t kSparseDays = 31;
constexpr uint32_t kSparseFlows = 75;
constexpr uint32_t kSyncs = 1000;

// A file in the temporary directory, removed at exit.
std::string TempFile(const char* name) {
  static std::vector<std::string>* made = new std::vector<std::string>();
  std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                     "/korvel-replay-bench-" + std::to_string(getpid()) + "-" + name;
  if (made->empty()) {
    std::atexit([] {
      for (const std::string& file : *made) unlink(file.c_str());
    });
  }
  made->push_back(path);
  return path;
}

// One UDP datagram over IPv4 and Ethernet, from 10.0.0.1:port to 10.0.1.1:53.
std::vector<u_char> Datagram(uint16_t port) {
  std::vector<u_char> frame = {
      // Ethernet: destination, source, IPv4
      0x02, 0, 0, 0, 0, 2, 0x02, 0, 0, 0, 0, 1, 0x08, 0x00,
      // IPv4: 20 bytes header, 8 of UDP and 4 of payload, TTL 64, UDP, no checksum
      0x45, 0, 0, 32, 0, 0, 0, 0, 64, 17, 0, 0, 10, 0, 0, 1, 10, 0, 1, 1,
      // UDP: ports, length 12, no checksum, payload
      static_cast<u_char>(port >> 8), static_cast<u_char>(port & 0xff), 0, 53, 0, 12, 0, 0, 'p',
      'i', 'n', 'g'};
  return frame;
}

// A capture of `flows` UDP flows of two packets a second apart, the flows spread evenly over
// `span_us`.
std::string WriteCapture(const char* name, uint32_t flows, uint64_t span_us) {
  const std::string path = TempFile(name);
  pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
  pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
  if (dumper == nullptr) std::abort();
  for (uint32_t flow = 0; flow < flows; flow++) {
    const std::vector<u_char> frame = Datagram(static_cast<uint16_t>(10000 + flow));
    for (uint64_t packet = 0; packet < 2; packet++) {
      const uint64_t at = kCaptureStartUs + flow * (span_us / flows) + packet * 1000000;
      pcap_pkthdr header{};
      header.ts.tv_sec = static_cast<time_t>(at / 1000000);
      header.ts.tv_usec = static_cast<suseconds_t>(at % 1000000);
      header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
      pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
    }
  }
  pcap_dump_close(dumper);
  pcap_close(dead);
  return path;
}

// A scenario of one flow whose DPI result is updated and synced `syncs` times.
std::string WriteSyncScenario() {
  const std::string path = TempFile("syncs.jsonl");
  std::ofstream out(path);
  out << R"({"op":"interface","name":"eth0"})" << "\n"
      << R"({"op":"flow","id":"f","interface":"eth0","digest":1})" << "\n"
      << R"({"op":"event","event":6,"flow":"f"})" << "\n";
  for (uint32_t sync = 0; sync < kSyncs; sync++) {
    out << R"({"op":"event","event":7,"flow":"f"})" << "\n" << R"({"op":"sync"})" << "\n";
  }
  return path;
}

// Runs the command with its output thrown away; false when it did not exit 0.
bool Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void TimeRuns(benchmark::State& state, const std::vector<std::string>& args) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!Run(args)) {
      state.SkipWithError(("failed: " + args[0]).c_str());
      return;
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

std::vector<std::string> Replay(std::vector<std::string> args) {
  std::vector<std::string> all = {kReplay, "--plugin", kPlugin, "-q", "--config", kConfig};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

const std::string& SparseCapture() {
  static const std::string path =
      WriteCapture("sparse.pcap", kSparseFlows, kSparseDays * 86400ull * 1000000);
  return path;
}

const std::string& OneFlowCapture() {
  static const std::string path = WriteCapture("one-flow.pcap", 1, 1000000);
  return path;
}

void BM_ReplayThousandSyncs(benchmark::State& state) {
  static const std::string scenario = WriteSyncScenario();
  TimeRuns(state, Replay({scenario}));
}
BENCHMARK(BM_ReplayThousandSyncs)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ReplaySparseCapture(benchmark::State& state) {
  TimeRuns(state, Replay({"--pcap", SparseCapture()}));
}
BENCHMARK(BM_ReplaySparseCapture)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ReplayOneFlowCapture(benchmark::State& state) {
  TimeRuns(state, Replay({"--pcap", OneFlowCapture()}));
}
BENCHMARK(BM_ReplayOneFlowCapture)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

void BM_NdpiReaderOneFlowCapture(benchmark::State& state) {
  const std::string csv = TempFile("one-flow.csv");
  TimeRuns(state, {"ndpiReader", "-q", "-i", OneFlowCapture(), "-C", csv});
}
BENCHMARK(BM_NdpiReaderOneFlowCapture)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

}  // namespace
