// PacketSource: where the capture source's packets come from, a capture file or a live interface.
#pragma once

#include <cstdint>
#include <string>

namespace capture {

// One source of frames of one link type. Used by one thread, the one that plays the capture.
class PacketSource {
 public:
  virtual ~PacketSource() = default;

  // Opens the source; throws CaptureError "NAME: reason" with the system's or libpcap's text.
  virtual void Open() = 0;
  // Reads the next packet. False when there is none: at the end of a file or at damage, which
  // Error() then tells, or (on a live interface) when none is waiting now. The packet stays valid
  // until the next call.
  virtual bool Next() = 0;

  // The file or interface, as records and messages name it.
  virtual const std::string& File() const = 0;
  virtual int LinkType() const = 0;
  // libpcap's name of the link type, "?" for one it does not know.
  virtual std::string LinkTypeName() const = 0;
  // libpcap's text of what ended the reading; "" while all is well.
  virtual const std::string& Error() const = 0;

  virtual const uint8_t* Data() const = 0;
  virtual uint32_t CapturedLength() const = 0;
  virtual uint32_t WireLength() const = 0;
  // The packet's timestamp in microseconds since the epoch (0 for a time before it).
  virtual uint64_t TimeUs() const = 0;
};

}  // namespace capture
