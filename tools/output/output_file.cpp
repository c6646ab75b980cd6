// OutputFile: opening the -o file with its buffer, and closing it with the system's error.
#include "tools/output/output_file.h"

#include <cerrno>
#include <cstring>

#include "tools/constants.h"

namespace replay {

OutputFile::~OutputFile() {
  if (stream != nullptr && stream != stdout) std::fclose(stream);
}

std::string OutputFile::Open(const std::string& path) {
  if (path.empty()) return "";
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return path + ": " + std::strerror(errno);
  buffer = std::make_unique<char[]>(kOutputFileBufferBytes);
  std::setvbuf(file, buffer.get(), _IOFBF, kOutputFileBufferBytes);
  stream = file;
  name = path;
  return "";
}

std::string OutputFile::Reopen() {
  if (buffer == nullptr) return "";  // standard output
  std::string error;
  if (stream != nullptr && stream != stdout && std::fclose(stream) != 0) {
    error = name + ": " + std::strerror(errno);
  }
  stream = std::fopen(name.c_str(), "a");
  if (stream == nullptr) return name + ": " + std::strerror(errno);
  std::setvbuf(stream, buffer.get(), _IOFBF, kOutputFileBufferBytes);
  return error;
}

std::string OutputFile::Close() {
  if (stream == stdout) return "";
  if (stream == nullptr) {  // a reopen failed, and said so
    stream = stdout;
    return "";
  }
  const int rc = std::fclose(stream);
  stream = stdout;
  if (rc != 0) return name + ": " + std::strerror(errno);
  return "";
}

}  // namespace replay
