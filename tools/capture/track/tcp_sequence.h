// TcpSequence: one direction of a TCP connection's sequence numbers, for retransmissions and
// sequence errors.
#pragma once

#include <cstdint>

namespace capture {

enum class SegmentKind : uint8_t {
  kInOrder,         // starts at the next expected sequence number (or is the first one seen)
  kRetransmission,  // starts inside the range already seen
  kSequenceError,   // jumps ahead of the next expected sequence number
  kEmpty,           // takes no sequence space (a bare acknowledgement): not judged
};

// Owned by the flow's private state; touched by the tracking thread only.
class TcpSequence {
 public:
  // Judges a segment starting at `seq` that takes `length` sequence numbers (payload, SYN and
  // FIN), and moves the next expected number past it (never backwards).
  SegmentKind Track(uint32_t seq, uint32_t length);

 private:
  bool known = false;
  uint32_t next = 0;
};

}  // namespace capture
