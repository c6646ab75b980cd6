// ProcessUsage: getrusage for processor time and peak memory, /proc/self/statm for the
// resident set.
#include "tools/capture/track/process_usage.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace capture {

ProcessUsage ReadProcessUsage() {
  ProcessUsage usage;
  rusage self{};
  if (getrusage(RUSAGE_SELF, &self) == 0) {
    usage.cpu_user = static_cast<double>(self.ru_utime.tv_sec) +
                     static_cast<double>(self.ru_utime.tv_usec) / 1e6;
    usage.cpu_system = static_cast<double>(self.ru_stime.tv_sec) +
                       static_cast<double>(self.ru_stime.tv_usec) / 1e6;
    usage.maxrss_kb = static_cast<uint64_t>(self.ru_maxrss);
  }
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    unsigned long size = 0, resident = 0;
    if (std::fscanf(statm, "%lu %lu", &size, &resident) == 2) {
      const long page = sysconf(_SC_PAGESIZE);
      if (page > 0) usage.memrss_kb = resident * static_cast<uint64_t>(page) / 1024;
    }
    std::fclose(statm);
  }
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  if (cores > 0) usage.cpu_cores = static_cast<uint32_t>(cores);
  return usage;
}

}  // namespace capture
