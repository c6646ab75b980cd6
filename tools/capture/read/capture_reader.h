// CaptureReader: one capture file (pcap or pcapng) read packet by packet through libpcap.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <memory>
#include <string>

#include "tools/capture/read/interface_spec.h"
#include "tools/capture/read/packet_source.h"

namespace capture {

// Used by one thread.
class CaptureReader : public PacketSource {
 public:
  explicit CaptureReader(const InterfaceSpec& spec);
  ~CaptureReader() override;
  CaptureReader(const CaptureReader&) = delete;
  CaptureReader& operator=(const CaptureReader&) = delete;

  // Opens the file (standard input for "-", the interface's own stream when it has one). Throws
  // CaptureError "FILE: reason": the system's error text for a file that cannot be opened,
  // libpcap's for one that is not a capture.
  void Open() override;

  // Reads the next packet; false at the end of the file or at damage, which Error() then tells
  // (libpcap's text, or the record's number when its fraction of a second is a second or more;
  // "" at a clean end). The packet stays valid until the next call.
  bool Next() override;

  const std::string& File() const override { return file; }
  int LinkType() const override { return link_type; }
  // libpcap's name of the link type, "?" for one it does not know.
  std::string LinkTypeName() const override;
  const std::string& Error() const override { return error; }

  const uint8_t* Data() const override { return data; }
  uint32_t CapturedLength() const override { return header->caplen; }
  uint32_t WireLength() const override { return header->len; }
  // The packet's timestamp in microseconds since the epoch (0 for a time before it).
  uint64_t TimeUs() const override;

 private:
  std::string file;
  // The stdio buffer of a file this reader opened; it outlives the stream, which the destructor
  // closes first.
  std::unique_ptr<char[]> read_buffer;
  FILE* stream;
  pcap_t* handle = nullptr;
  int link_type = -1;
  std::string error;
  pcap_pkthdr* header = nullptr;
  uint64_t records = 0;  // read so far
  const uint8_t* data = nullptr;
};

}  // namespace capture
