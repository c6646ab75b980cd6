// Play: runs a capture source over test captures with a Recorder and returns what it delivered.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/tools/capture/frames.h"
#include "tests/tools/capture/recorder.h"
#include "tools/capture/capture_source.h"

namespace capture_test {

constexpr size_t kBuckets = 7;

struct Played {
  Recorder recorder;
  std::string error;  // what Run returned
};

inline std::unique_ptr<Played> Play(std::vector<capture::InterfaceSpec> specs,
                                    const capture::TrackerSettings& settings = {}) {
  auto played = std::make_unique<Played>();
  capture::CaptureSource source(std::move(specs), settings, kBuckets);
  source.Open();
  played->error = source.Run(played->recorder);
  played->recorder.Finish();
  // Every flow is purged at the end, and the map holds none of them any more.
  size_t left = 0;
  for (size_t i = 0; i < source.FlowMap().GetBuckets(); i++) {
    left += source.FlowMap().Acquire(i).size();
    source.FlowMap().Release(i);
  }
  EXPECT_EQ(left, 0u) << "flows left in the flow map after the run";
  return played;
}

// One Ethernet capture file of `frames`, played as interface "lan0" with `addrs`.
class OneFile {
 public:
  explicit OneFile(const std::vector<Frame>& frames, int link_type = 1) {
    WritePcap(file.Path(), link_type, frames);
  }
  capture::InterfaceSpec Spec(std::vector<std::string> addrs = {}) const {
    capture::InterfaceSpec spec;
    spec.file = file.Path();
    spec.name = "lan0";
    spec.addrs = std::move(addrs);
    return spec;
  }
  const std::string& Path() const { return file.Path(); }

 private:
  TempPath file;
};

// An Ethernet frame from MAC `from` to MAC `to` around an IP packet.
inline Bytes EthFrame(uint8_t from, uint8_t to, const Bytes& ip) {
  const bool v6 = !ip.empty() && (ip[0] >> 4) == 6;
  return Ether(Mac(to), Mac(from), v6 ? 0x86dd : 0x0800, ip);
}

constexpr uint64_t kT0 = 1700000000000000ull;  // 2023-11-14 22:13:20 UTC, in microseconds
constexpr uint64_t kSecond = 1000000;

}  // namespace capture_test
