// The generated capture of the capture benchmarks: 100,000 flows of 10 packets each, a third
// TLS on 443 (client hello with server name and ALPN, server hello, certificate), a third DNS
// questions and answers, a third HTTP requests with a host and a user agent, written once per
// process to a file.
#pragma once

#include <cstdint>
#include <string>

namespace korvel_bench {

constexpr uint32_t kCaptureFlows = 100000;
constexpr uint32_t kCapturePackets = 1000000;
constexpr uint32_t kPacketsPerFlow = kCapturePackets / kCaptureFlows;
// Packets come 60 us apart, so each flow sees one every 6 s over the minute the capture lasts:
// all flows stay live, and four updates walk all of them.
constexpr uint64_t kPacketGapUs = 60;
constexpr uint64_t kStartUs = 1700000000ull * 1000000;
// Bytes of the Ethernet header before each IP packet.
constexpr uint32_t kEthernetHeader = 14;

// What kind of traffic flow `flow` carries.
enum class CaptureFlowKind { kTls, kDns, kHttp };
CaptureFlowKind KindOfFlow(uint32_t flow);

// The memory benchmark's second capture: this many UDP flows of one packet each, 30 us apart (all
// of them live at once, within one update interval).
constexpr uint32_t kOnePacketFlows = 300000;
constexpr uint64_t kOnePacketGapUs = 30;

// Writes the capture above (1,000,000 packets of 100,000 flows) to `path`.
void WriteMixedCapture(const std::string& path);
// Writes `flows` UDP flows of one packet each to `path`: from 10.x.y.z (a local address, each
// flow its own, every port from 10000 on) to one server on 198.51.100.1:9999, 16 bytes of zeros
// that nDPI cannot name, so each flow stays under classification until its purge.
void WriteOnePacketFlowsCapture(const std::string& path, uint32_t flows);

// The capture file's path. Written at the first call, to the file named by the environment
// variable KORVEL_CAPTURE_BENCH_FILE when it is set (and then kept, for other readers), otherwise
// to a temporary file removed at exit.
const std::string& CapturePath();

}  // namespace korvel_bench
