// RecordPatch: the changes an op's members make to a record, kept until the whole op is read.
#pragma once

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "kv/json.h"
#include "tools/scenario/member_table.h"

namespace replay {

// Filled by the rows of a MemberTable as they read an op; applied to a record only once the op
// has been read in full, so that a bad op changes nothing.
template <typename Record>
class RecordPatch {
 public:
  using Setter = std::function<void(Record&)>;
  using Precondition = std::function<void(const Record&)>;

  // A change that `row` read; changes apply in the order they were added.
  void Set(const Member<Record>& row, Setter setter) {
    setters.emplace_back(&row, std::move(setter));
  }
  // A test of the record as it stands, which throws ScenarioError when it cannot take a change.
  void Require(Precondition check) { checks.push_back(std::move(check)); }

  void Check(const Record& record) const {
    for (const Precondition& check : checks) check(record);
  }
  // Makes the changes of the rows of `part` (of every row with kAllParts).
  void Apply(Record& record, int part = kAllParts) const {
    for (const auto& [row, setter] : setters) {
      if (part == kAllParts || row->part == part) setter(record);
    }
  }
  bool Sets(int part) const {
    return std::any_of(setters.begin(), setters.end(),
                       [part](const auto& change) { return change.first->part == part; });
  }
  // True when a change of `part` makes its row write something else than it writes for
  // `current`.
  bool Changes(const Record& current, int part) const {
    for (const auto& [row, setter] : setters) {
      if (row->part != part) continue;
      Record changed;
      setter(changed);
      json before = json::object();
      json after = json::object();
      row->write(*row, current, before);
      row->write(*row, changed, after);
      if (before != after) return true;
    }
    return false;
  }

 private:
  std::vector<std::pair<const Member<Record>*, Setter>> setters;
  std::vector<Precondition> checks;
};

}  // namespace replay
