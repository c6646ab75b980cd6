// kppConfigFile: reads the configuration file through a stream buffer that remembers read errors.
#include "config/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "config/vocabulary.h"

kppConfigFile::~kppConfigFile() {
  if (fd >= 0) ::close(fd);
}

bool kppConfigFile::Open(const std::string& path) {
  int opened;
  do {
    // Without O_NONBLOCK a FIFO that no one writes would hold the worker in open() for good.
    opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (opened < 0 && errno == EINTR);
  if (opened < 0) return false;

  // Only a regular file is read: a directory would read as an empty file, and a FIFO, socket or
  // device may block the worker or never end.
  struct stat status {};
  if (::fstat(opened, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(opened);
    return false;
  }
  const int flags = ::fcntl(opened, F_GETFL);
  if (flags >= 0) ::fcntl(opened, F_SETFL, flags & ~O_NONBLOCK);
  if (fd >= 0) ::close(fd);
  fd = opened;
  read_error = 0;
  buffer.resize(kpp::config::kReadChunkBytes);
  setg(nullptr, nullptr, nullptr);
  return true;
}

ssize_t kppConfigFile::Read(char* data, size_t size) {
  return ::read(fd, data, size);
}

kppConfigFile::int_type kppConfigFile::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (fd < 0 || read_error != 0) return traits_type::eof();

  ssize_t count;
  do {
    count = Read(buffer.data(), buffer.size());
  } while (count < 0 && errno == EINTR);
  if (count < 0) {
    read_error = errno;
    return traits_type::eof();
  }
  if (count == 0) return traits_type::eof();

  setg(buffer.data(), buffer.data(), buffer.data() + count);
  return traits_type::to_int_type(*gptr());
}
