// CaptureMerge: the packets of several capture files, in timestamp order across the files.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "tools/capture/read/capture_reader.h"

namespace capture {

// Used by one thread.
class CaptureMerge {
 public:
  static constexpr size_t kEnd = static_cast<size_t>(-1);

  void Add(std::unique_ptr<CaptureReader> reader) { readers.push_back(std::move(reader)); }
  size_t Size() const { return readers.size(); }
  CaptureReader& Reader(size_t index) { return *readers[index]; }

  // The index of the file whose packet comes next: the earliest timestamp, the first file on a
  // tie. The packet stays valid until the next call. kEnd at the end of every file, or at the
  // first damage, which Error() then tells ("FILE: reason").
  size_t Next();
  const std::string& Error() const { return error; }

 private:
  // Reads the next packet of file `index`; false at its end or at damage.
  bool Advance(size_t index);

  std::vector<std::unique_ptr<CaptureReader>> readers;
  std::vector<bool> pending;  // the file has a packet read and not yet given out
  size_t current = kEnd;      // the file whose packet was given out last
  bool primed = false;
  std::string error;
};

}  // namespace capture
