// MemberTable: a scenario record's members, one row each, and the loops that go through them.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "kv/json.h"
#include "tools/scenario/member_reader.h"

namespace replay {

template <typename Record>
class RecordPatch;

// Every part of a record (see Member::part).
constexpr int kAllParts = -1;

// A member of a record's scenario object and the field it stands for; the functions are those of
// the field's kind (member_kinds.h), made for that field.
template <typename Record>
struct Member {
  const char* key;
  // A second member of the same field (an endpoint's port beside its address), or null.
  const char* port_key;
  // Adds to `patch` what the row's members, where present, change. Throws ScenarioError.
  void (*read)(const Member& row, const MemberReader& reader, RecordPatch<Record>& patch);
  // Puts the row's members into `object`; null for a member that is read but never written.
  void (*write)(const Member& row, const Record& record, json& object);
  void (*copy)(const Record& from, Record& to);
  // The part of the record the field is in, for records whose parts are guarded apart (an
  // interface's); 0 in other records.
  int part;
};

// The rows of one record, in the order they are read: the order their errors are found in.
template <typename Record>
class MemberTable {
 public:
  template <size_t N>
  constexpr MemberTable(const Member<Record> (&table)[N]) : rows(table), count(N) {}

  const Member<Record>* begin() const { return rows; }
  const Member<Record>* end() const { return rows + count; }

 private:
  const Member<Record>* rows;
  size_t count;
};

// Throws ScenarioError naming the first member of the reader's object that is neither a row's
// nor in `others` (the op's own members, such as "op").
template <typename Record>
void RequireKnown(const MemberReader& reader, const MemberTable<Record>& table,
                  std::initializer_list<const char*> others = {}) {
  reader.RequireKnownBy([&table, others](const std::string& key) {
    for (const char* other : others) {
      if (key == other) return true;
    }
    for (const Member<Record>& row : table) {
      if (key == row.key || (row.port_key != nullptr && key == row.port_key)) return true;
    }
    return false;
  });
}

// What every row reads, in table order.
template <typename Record>
void ReadMembers(const MemberTable<Record>& table, const MemberReader& reader,
                 RecordPatch<Record>& patch) {
  for (const Member<Record>& row : table) row.read(row, reader, patch);
}

// The members of the rows of `part` (of every row with kAllParts) into `object`.
template <typename Record>
void WriteMembers(const MemberTable<Record>& table, const Record& record, json& object,
                  int part = kAllParts) {
  for (const Member<Record>& row : table) {
    if (row.write != nullptr && (part == kAllParts || row.part == part)) {
      row.write(row, record, object);
    }
  }
}

template <typename Record>
void CopyMembers(const MemberTable<Record>& table, int part, const Record& from, Record& to) {
  for (const Member<Record>& row : table) {
    if (row.part == part) row.copy(from, to);
  }
}

template <typename Record>
json WriteRecord(const MemberTable<Record>& table, const Record& record) {
  json object = json::object();
  WriteMembers(table, record, object);
  return object;
}

}  // namespace replay
