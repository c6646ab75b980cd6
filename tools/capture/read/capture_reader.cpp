// CaptureReader: opening a capture file and reading its packets, with libpcap's error texts.
#include "tools/capture/read/capture_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "tools/capture/capture_error.h"
#include "tools/capture/constants.h"

namespace capture {

CaptureReader::CaptureReader(const InterfaceSpec& spec) : file(spec.file), stream(spec.stream) {}

CaptureReader::~CaptureReader() {
  if (handle) {
    pcap_close(handle);  // closes the stream too
  } else if (stream && stream != stdin) {
    std::fclose(stream);
  }
}

void CaptureReader::Open() {
  if (!stream) {
    if (file == "-") {
      stream = stdin;
    } else {
      stream = std::fopen(file.c_str(), "rb");
      if (!stream) throw CaptureError(file, std::strerror(errno));
      // Read in large blocks: stdio's default buffer costs a system call every few packets.
      // (glibc ignores the size unless it is given the buffer.)
      read_buffer = std::make_unique<char[]>(kCaptureReadBufferBytes);
      std::setvbuf(stream, read_buffer.get(), _IOFBF, kCaptureReadBufferBytes);
    }
  }
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  handle = pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, errbuf);
  if (!handle) throw CaptureError(file, errbuf[0] ? errbuf : "not a capture file");
  link_type = pcap_datalink(handle);
}

std::string CaptureReader::LinkTypeName() const {
  const char* name = pcap_datalink_val_to_name(link_type);
  return name ? name : "?";
}

bool CaptureReader::Next() {
  if (!handle) return false;
  const u_char* bytes = nullptr;
  const int rc = pcap_next_ex(handle, &header, &bytes);
  if (rc == 1) {
    records++;
    // Read with nanosecond precision, libpcap hands a pcap record's fraction of a second on as
    // the file has it (a microsecond file's times 1000, sign-extended from 32 bits): a second or
    // more is a damaged record.
    if (header->ts.tv_usec >= 0 && static_cast<uint64_t>(header->ts.tv_usec) < kNanosPerSecond) {
      data = bytes;
      return true;
    }
    error = "record " + std::to_string(records) + ": time fraction of a second or more";
  }
  if (rc == PCAP_ERROR) error = pcap_geterr(handle);
  if (rc == 0) error = "no packet available";
  pcap_close(handle);
  handle = nullptr;
  stream = nullptr;
  return false;
}

uint64_t CaptureReader::TimeUs() const {
  if (header->ts.tv_sec < 0 || header->ts.tv_usec < 0) return 0;
  uint64_t seconds = static_cast<uint64_t>(header->ts.tv_sec);
  if (seconds > kMaxTimestampSeconds) seconds = kMaxTimestampSeconds;
  // The fraction is in nanoseconds (see Next), below a second.
  return seconds * kMicrosPerSecond + static_cast<uint64_t>(header->ts.tv_usec) / kNanosPerMicro;
}

}  // namespace capture
