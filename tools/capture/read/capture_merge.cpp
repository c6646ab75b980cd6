// CaptureMerge: reads ahead one packet per file and gives out the earliest.
#include "tools/capture/read/capture_merge.h"

namespace capture {

bool CaptureMerge::Advance(size_t index) {
  CaptureReader& reader = *readers[index];
  pending[index] = reader.Next();
  if (!reader.Error().empty()) error = reader.File() + ": " + reader.Error();
  return error.empty();
}

size_t CaptureMerge::Next() {
  if (!primed) {
    primed = true;
    pending.assign(readers.size(), false);
    for (size_t i = 0; i < readers.size(); i++) {
      if (!Advance(i)) return kEnd;
    }
  } else if (current != kEnd && !Advance(current)) {
    return current = kEnd;
  }
  if (!error.empty()) return kEnd;
  current = kEnd;
  for (size_t i = 0; i < readers.size(); i++) {
    if (pending[i] && (current == kEnd || readers[i]->TimeUs() < readers[current]->TimeUs())) {
      current = i;
    }
  }
  return current;
}

}  // namespace capture
