// ReplaceFile, RemoveFile and TempDir: the configuration file that "config" ops write.
#include "tools/scenario/scratch_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tools/constants.h"

namespace replay {

namespace {

constexpr const char* kTempSuffix = ".XXXXXX";
constexpr const char* kDefaultTempRoot = "/tmp";

std::string ErrorText(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string ReplaceFile(const std::string& path, const std::string& content) {
  std::vector<char> temp(path.begin(), path.end());
  temp.insert(temp.end(), kTempSuffix, kTempSuffix + std::strlen(kTempSuffix) + 1);
  const int fd = mkstemp(temp.data());
  if (fd < 0) return ErrorText(path, errno);
  const bool written = WriteAll(fd, content);
  const int write_error = errno;
  if (close(fd) != 0 || !written) {
    const int error = written ? errno : write_error;
    unlink(temp.data());
    return ErrorText(path, error);
  }
  if (rename(temp.data(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temp.data());
    return ErrorText(path, error);
  }
  return std::string();
}

std::string RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return ErrorText(path, errno);
  return std::string();
}

TempDir::~TempDir() {
  Remove(kTempConfigName);
}

std::string TempDir::Create() {
  const char* root = getenv("TMPDIR");
  std::string pattern = (root != nullptr && *root != '\0') ? root : kDefaultTempRoot;
  pattern += "/";
  pattern += kTempDirTemplate;
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return ErrorText(pattern, errno);
  path = buffer.data();
  return std::string();
}

void TempDir::Remove(const std::string& name) {
  if (path.empty()) return;
  unlink(PathOf(name).c_str());
  rmdir(path.c_str());
  path.clear();
}

}  // namespace replay
