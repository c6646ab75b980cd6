// OutputFile: where the sink lines go: standard output, or a file written through a large buffer.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace replay {

// Main thread; the stream is written under SinkOutput's lock.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens `path` for writing; an empty path keeps standard output. "" or "PATH: reason".
  std::string Open(const std::string& path);
  std::FILE* Stream() const { return stream; }
  // "<stdout>" or the file's path, as messages name it.
  const std::string& Name() const { return name; }

  // Closes a file (standard output stays open). "" or "PATH: reason".
  std::string Close();
  // Closes the file and opens its path again, appending (after a log rotation moved it away).
  // Standard output stays as it is. "" or "PATH: reason"; on failure Stream() is null until a
  // reopen succeeds.
  std::string Reopen();

 private:
  // A write system call per buffer, where the default buffer costs one every few lines. Declared
  // before the stream, which uses it until it is closed.
  std::unique_ptr<char[]> buffer;
  std::FILE* stream = stdout;
  std::string name = "<stdout>";
};

}  // namespace replay
