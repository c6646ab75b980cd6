// Building a name table from its constant row list: rows are inserted in list order and
// a row whose key is already present is skipped, so the first row for a key wins.
#pragma once

#include <cstddef>

// One row of a constant row list: a key and the value it gives.
template <typename K, typename V>
struct kppTableRow {
  K key;
  V value;
};

// Builds a hash table from ROWS in order, keeping the first row for each key.
template <typename Map, typename Row, std::size_t N>
Map kppBuildTable(const Row (&rows)[N]) {
  Map table;
  for (const Row& row : rows) {
    table.try_emplace(typename Map::key_type(row.key), row.value);
  }
  return table;
}
