// ScenarioReader: one op per non-blank, non-comment line, each a JSON object with "op".
#include "tools/scenario/scenario_reader.h"

#include <utility>

#include "tools/scenario/scenario_error.h"

namespace replay {

namespace {

constexpr const char* kWhitespace = " \t\r\n\f\v";
constexpr char kCommentMark = '#';

}  // namespace

ScenarioReader::ScenarioReader(std::istream& in_) : in(in_) {}

bool ScenarioReader::Next(ScenarioOp& op) {
  while (std::getline(in, line)) {
    line_number++;
    const size_t first = line.find_first_not_of(kWhitespace);
    if (first == std::string::npos || line[first] == kCommentMark) continue;

    json object;
    try {
      object = json::parse(line);
    } catch (const json::exception& e) {
      throw ScenarioError(std::string("invalid JSON: ") + e.what());
    }
    if (!object.is_object()) throw ScenarioError("an op must be a JSON object");
    auto name = object.find("op");
    if (name == object.end()) throw ScenarioError("missing member \"op\"");
    if (!name->is_string()) throw ScenarioError("member \"op\" must be a string");

    op.line = line_number;
    op.name = name->get<std::string>();
    op.object = std::move(object);
    return true;
  }
  if (in.bad()) {
    line_number++;
    throw ScenarioError("cannot read the scenario");
  }
  return false;
}

}  // namespace replay
