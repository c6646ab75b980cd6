// Helpers of the replay tool's tests: running korvel-replay, scratch files, reading sink files
// back, and comparing outputs with the checked-in ones.
#pragma once

#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "kv/json.h"

namespace korvel_test {

struct ToolRun {
  int status = -1;  // the exit status; 128 + the signal number when a signal ended it
  std::string out;
  std::string err;
};

// Runs korvel-replay with `args`, feeding `input` on its standard input, in the directory `cwd`
// (default: the test's own).
ToolRun RunReplayTool(const std::vector<std::string>& args, const std::string& input = "",
                      const std::string& cwd = "");

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

std::string ReadFileText(const std::string& path);  // "" when it cannot be read
std::string ReadGzip(const std::string& path);      // decompressed (plain files unchanged)
std::vector<std::string> SplitLines(const std::string& text);
// Every MessagePack document of a concatenation, in order; trailing bytes fail the test.
std::vector<json> ReadMsgpackDocuments(const std::string& bytes);

// One output record made comparable: the payload's "timestamp" removed; the "addr" arrays of
// interface objects, the address lists of endpoints and the legacy "flows" arrays sorted.
json NormalizeSinkRecord(const json& record);
// The output with the process figures of agent status and legacy documents (the usage of the
// process that played a capture) set to 0.
std::string WithoutProcessFigures(const std::string& output);
// "" when two outputs match line by line after normalizing, else where they first differ.
std::string CompareReplayOutputs(const std::string& expected, const std::string& actual);

// The message of the exception that parsing `text` throws.
inline std::string ParseError(const std::string& text) {
  try {
    return "parsed " + json::parse(text).dump();
  } catch (const json::exception& e) {
    return e.what();
  }
}

// The values joined by spaces; small integers as numbers, containers as "[a,b]".
template <typename T>
void PutValue(std::ostream& out, const T& value) {
  if constexpr (std::is_enum_v<T>) {
    out << static_cast<uint64_t>(value);
  } else if constexpr (std::is_arithmetic_v<T>) {
    out << +value;
  } else {
    out << value;
  }
}
template <typename T>
void PutValue(std::ostream& out, const std::vector<T>& values) {
  out << '[';
  for (size_t i = 0; i < values.size(); i++) PutValue(out << (i == 0 ? "" : ","), values[i]);
  out << ']';
}
template <typename T>
void PutValue(std::ostream& out, const std::set<T>& values) {
  PutValue(out, std::vector<T>(values.begin(), values.end()));
}
template <typename... T>
std::string Join(const T&... values) {
  std::ostringstream out;
  ((PutValue(out, values), out << ' '), ...);
  std::string text = out.str();
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace korvel_test
