// RunReplayTool: runs the built korvel-replay binary and collects its exit status and output.
#pragma once

#include <string>
#include <vector>

namespace korvel_test {

struct ToolRun {
  int status = -1;  // the exit status; 128 + the signal number when a signal ended it
  std::string out;
  std::string err;
};

// Runs korvel-replay with `args`, feeding `input` on its standard input.
ToolRun RunReplayTool(const std::vector<std::string>& args, const std::string& input = "");

// A private directory under $TMPDIR (or /tmp), removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path; }
  // Writes `content` to the file `name` inside the directory and returns its path.
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::string path;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadFileText(const std::string& path);

// The lines of `text`, without their newlines.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace korvel_test
