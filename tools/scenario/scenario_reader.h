// ScenarioReader: splits a scenario (JSON Lines) into ops, skipping blank and comment lines.
#pragma once

#include <cstddef>
#include <istream>
#include <string>

#include "kv/json.h"

namespace replay {

// One op of a scenario: its line number, its name and the whole object.
struct ScenarioOp {
  size_t line = 0;
  std::string name;
  json object;
};

// Reads ops one line at a time, so a scenario of any length is played as it is read. Main thread.
class ScenarioReader {
 public:
  explicit ScenarioReader(std::istream& in);

  // The next op; false at the end of the input. Throws ScenarioError for a line that is not a
  // JSON object with a string "op", or when the input cannot be read; LineNumber() then names
  // the line.
  bool Next(ScenarioOp& op);

  // The number of the line read last (1 for the first line).
  size_t LineNumber() const { return line_number; }

 private:
  std::istream& in;
  size_t line_number = 0;
  std::string line;
};

}  // namespace replay
