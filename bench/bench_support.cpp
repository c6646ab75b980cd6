// Helpers of the benchmarks: configuration files, a running plugin with a counting sink, and the
// memory and CPU clocks of the process.
#include "bench/bench_support.h"

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "kv/standin.h"

namespace korvel_bench {

ConfigFile::ConfigFile(const std::string& text) {
  char name[] = "/tmp/korvel-bench-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  path = name;
  std::ofstream out(path, std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

ConfigFile::~ConfigFile() {
  std::remove(path.c_str());
}

std::unique_ptr<kppPlugin> MakeIdlePlugin(const ConfigFile& configuration) {
  return std::make_unique<kppPlugin>("bench",
                                     kvPlugin::Params{{"conf_filename", configuration.Path()}});
}

RunningPlugin::RunningPlugin(const std::string& configuration) : config(configuration) {
  kvStandIn::SetSinkHandler([this](const std::string&, const std::set<std::string>&, const json&,
                                   uint8_t) { OnSinkCall(); });
  plugin = MakeIdlePlugin(config);
  plugin->Create();
  // The worker loads the configuration on its first pass and clears `reload` after it.
  while (plugin->reload.load() || plugin->channel_types.load() == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

RunningPlugin::~RunningPlugin() {
  plugin->Terminate();
  plugin->Join();
  plugin.reset();
  kvStandIn::SetSinkHandler(nullptr);
}

void RunningPlugin::OnSinkCall() {
  if (!has_worker_clock.load(std::memory_order_acquire)) {
    pthread_getcpuclockid(pthread_self(), &worker_clock);
    has_worker_clock.store(true, std::memory_order_release);
  }
  const uint64_t count = calls.fetch_add(1) + 1;
  if (count == target.load()) {
    std::lock_guard<std::mutex> guard(lock);
    reached = true;
    wake.notify_one();
  }
}

void RunningPlugin::Expect(uint64_t more) {
  std::lock_guard<std::mutex> guard(lock);
  reached = false;
  target.store(calls.load() + more);
}

void RunningPlugin::Wait() {
  std::unique_lock<std::mutex> guard(lock);
  wake.wait(guard, [this] { return reached; });
}

double RunningPlugin::WorkerCpuSeconds() const {
  if (!has_worker_clock.load(std::memory_order_acquire)) return 0.0;
  timespec now{};
  clock_gettime(worker_clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  size_t resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

bool ResetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

size_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
  }
  return 0;
}

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

}  // namespace korvel_bench
