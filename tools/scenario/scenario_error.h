// ScenarioError: a scenario line that cannot be played (bad JSON, unknown op or member, bad value).
#pragma once

#include <stdexcept>
#include <string>

namespace replay {

// Thrown while an op is read or applied; the player adds the file and line number.
class ScenarioError : public std::runtime_error {
 public:
  explicit ScenarioError(const std::string& message) : std::runtime_error(message) {}
};

// The text in double quotes, JSON-escaped, with invalid UTF-8 replaced: safe for any message.
std::string Quote(const std::string& text);

}  // namespace replay
