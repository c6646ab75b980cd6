// TempFile: mkstemp-backed scratch files for configuration files and outputs.
#include "support/temp_file.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace korvel_test {

TempFile::TempFile() {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern =
      std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/korvel-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  path = name.data();
}

TempFile::~TempFile() {
  unlink(path.c_str());
}

void TempFile::Write(const std::string& content) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace korvel_test
