// LiveInterface: a libpcap live handle set up, activated and filtered, read without blocking.
#include "tools/capture/read/live_interface.h"

#include <utility>

#include "tools/capture/capture_error.h"
#include "tools/capture/constants.h"

namespace capture {

namespace {

// libpcap's text for a status of pcap_activate, with the handle's detail when it adds one.
std::string StatusText(pcap_t* handle, int status) {
  const std::string detail = pcap_geterr(handle);
  if (status == PCAP_ERROR || status == PCAP_WARNING) {
    return detail.empty() ? pcap_statustostr(status) : detail;
  }
  const std::string text = pcap_statustostr(status);
  return detail.empty() || detail == text ? text : text + " (" + detail + ")";
}

}  // namespace

LiveInterface::LiveInterface(std::string device_, LiveSettings settings_)
    : device(std::move(device_)), settings(std::move(settings_)) {}

LiveInterface::~LiveInterface() {
  if (handle) pcap_close(handle);
}

void LiveInterface::Fail(const std::string& reason) {
  if (handle) {
    pcap_close(handle);
    handle = nullptr;
  }
  throw CaptureError(device, reason);
}

void LiveInterface::Open() {
  if (handle) return;
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  handle = pcap_create(device.c_str(), errbuf);
  if (!handle) throw CaptureError(device, errbuf[0] ? errbuf : "cannot capture");
  if (pcap_set_snaplen(handle, kLiveSnapLength) != 0 ||
      pcap_set_promisc(handle, settings.promiscuous ? 1 : 0) != 0 ||
      pcap_set_timeout(handle, kLiveTimeoutMs) != 0 ||
      pcap_set_buffer_size(handle, static_cast<int>(settings.buffer_bytes)) != 0 ||
      pcap_set_tstamp_precision(handle, PCAP_TSTAMP_PRECISION_MICRO) != 0) {
    Fail(pcap_geterr(handle));
  }
  const int status = pcap_activate(handle);
  if (status < 0) Fail(StatusText(handle, status));
  if (status > 0) warnings.push_back(device + ": " + StatusText(handle, status));
  link_type = pcap_datalink(handle);

  if (!settings.filter.empty()) {
    bpf_program program;
    if (pcap_compile(handle, &program, settings.filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
      Fail(pcap_geterr(handle));
    }
    const int rc = pcap_setfilter(handle, &program);
    pcap_freecode(&program);
    if (rc != 0) Fail(pcap_geterr(handle));
  }
  if (pcap_setnonblock(handle, 1, errbuf) != 0) Fail(errbuf);
  pcap_stat stats{};
  if (pcap_stats(handle, &stats) == 0) {
    dropped.Start(stats.ps_drop);
    interface_dropped.Start(stats.ps_ifdrop);
  }
}

bool LiveInterface::Next() {
  if (!handle || !error.empty()) return false;
  const u_char* bytes = nullptr;
  const int rc = pcap_next_ex(handle, &header, &bytes);
  if (rc == 1) {
    data = bytes;
    return true;
  }
  if (rc == 0) return false;  // nothing waits
  error = rc == PCAP_ERROR ? pcap_geterr(handle) : "the capture ended";
  return false;
}

int LiveInterface::SelectableFd() const {
  return handle ? pcap_get_selectable_fd(handle) : -1;
}

CaptureLosses LiveInterface::TakeLosses() {
  CaptureLosses losses;
  pcap_stat stats{};
  if (!handle || pcap_stats(handle, &stats) != 0) return losses;
  losses.dropped = dropped.Advance(stats.ps_drop) + interface_dropped.Advance(stats.ps_ifdrop);
  return losses;
}

std::string LiveInterface::LinkTypeName() const {
  const char* name = pcap_datalink_val_to_name(link_type);
  return name ? name : "?";
}

uint64_t LiveInterface::TimeUs() const {
  if (header->ts.tv_sec < 0 || header->ts.tv_usec < 0) return 0;
  uint64_t seconds = static_cast<uint64_t>(header->ts.tv_sec);
  if (seconds > kMaxTimestampSeconds) seconds = kMaxTimestampSeconds;
  return seconds * kMicrosPerSecond + static_cast<uint64_t>(header->ts.tv_usec);
}

}  // namespace capture
