// TempFile: a private temporary file (or directory) that a test writes and that is removed after.
#pragma once

#include <string>

namespace korvel_test {

class TempFile {
 public:
  // Creates an empty file under $TMPDIR (or /tmp).
  TempFile();
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& Path() const { return path; }
  // Replaces the file's content.
  void Write(const std::string& content) const;

 private:
  std::string path;
};

}  // namespace korvel_test
