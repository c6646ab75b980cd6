// TcpSequence: sequence arithmetic modulo 2^32.
#include "tools/capture/track/tcp_sequence.h"

namespace capture {

SegmentKind TcpSequence::Track(uint32_t seq, uint32_t length) {
  if (length == 0) return SegmentKind::kEmpty;
  const uint32_t end = seq + length;
  if (!known) {
    known = true;
    next = end;
    return SegmentKind::kInOrder;
  }
  const int32_t ahead = static_cast<int32_t>(seq - next);
  if (ahead == 0) {
    next = end;
    return SegmentKind::kInOrder;
  }
  if (ahead > 0) {
    next = end;
    return SegmentKind::kSequenceError;
  }
  if (static_cast<int32_t>(end - next) > 0) next = end;
  return SegmentKind::kRetransmission;
}

}  // namespace capture
