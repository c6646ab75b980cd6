// kppConfigFile: the configuration file opened for reading, as a stream buffer that keeps the
// error of a failed read instead of passing it off as the end of the file.
#pragma once

#include <sys/types.h>

#include <streambuf>
#include <string>
#include <vector>

// Used by one thread at a time (the worker, inside LoadConfig).
class kppConfigFile : public std::streambuf {
 public:
  kppConfigFile() = default;
  ~kppConfigFile() override;
  kppConfigFile(const kppConfigFile&) = delete;
  kppConfigFile& operator=(const kppConfigFile&) = delete;

  // Opens `path` read-only. False when it cannot be opened or is not a regular file: a directory
  // would read as an empty file, a FIFO or a device may block or never end.
  bool Open(const std::string& path);

  // The errno of the read that failed, or 0 while every read has succeeded. A failed read ends
  // the stream early.
  int ReadError() const { return read_error; }

 protected:
  int_type underflow() override;
  // One read of at most `size` bytes from the open file, as read(2) returns it; tests replace it
  // to make reads fail.
  virtual ssize_t Read(char* data, size_t size);

 private:
  int fd = -1;
  int read_error = 0;
  std::vector<char> buffer;
};
