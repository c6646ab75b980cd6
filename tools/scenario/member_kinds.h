// The kinds of member a MemberTable row can be, each reading and writing one kind of field.
#pragma once

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "kv/addr.h"
#include "kv/json.h"
#include "tools/scenario/address_text.h"
#include "tools/scenario/member_reader.h"
#include "tools/scenario/member_table.h"
#include "tools/scenario/record_patch.h"

namespace replay {

template <typename Pointer>
struct FieldOf;
template <typename R, typename V>
struct FieldOf<V R::*> {
  using Record = R;
  using Value = V;
};
template <auto Field>
using RecordOf = typename FieldOf<decltype(Field)>::Record;
template <auto Field>
using ValueOf = typename FieldOf<decltype(Field)>::Value;
template <auto Field>
using RowOf = Member<RecordOf<Field>>;
template <auto Field>
using PatchOf = RecordPatch<RecordOf<Field>>;

// Plain assignment, element by element for arrays.
template <typename T>
void Assign(T& to, const T& from) {
  if constexpr (std::is_array<T>::value) {
    std::copy(std::begin(from), std::end(from), std::begin(to));
  } else {
    to = from;
  }
}

template <auto Field>
void CopyField(const RecordOf<Field>& from, RecordOf<Field>& to) {
  Assign(to.*Field, from.*Field);
}

template <auto Field>
constexpr RowOf<Field> Row(const char* key, const char* port_key, decltype(RowOf<Field>::read) read,
                           decltype(RowOf<Field>::write) write, int part = 0) {
  return {key, port_key, read, write, &CopyField<Field>, part};
}

template <typename Kind, auto Field>
void ReadAs(const RowOf<Field>& row, const MemberReader& reader, PatchOf<Field>& patch) {
  ValueOf<Field> value{};
  if (!Kind::Parse(reader, row.key, value)) return;
  patch.Set(row, [value](RecordOf<Field>& record) { Assign(record.*Field, value); });
}

template <typename Kind, auto Field>
void WriteAs(const RowOf<Field>& row, const RecordOf<Field>& record, json& object) {
  object[row.key] = Kind::Show(record.*Field);
}

// A row of `Kind`: Kind::Parse(reader, key, value) reads the member, when present, into a value
// of the field's type (throwing ScenarioError for a bad one); Kind::Show(value) writes it.
template <typename Kind, auto Field>
constexpr RowOf<Field> As(const char* key, int part = 0) {
  return Row<Field>(key, nullptr, &ReadAs<Kind, Field>, &WriteAs<Kind, Field>, part);
}

// An enum as its number.
template <typename T>
using NumberOf = typename std::conditional_t<std::is_enum<T>::value, std::underlying_type<T>,
                                             std::common_type<T>>::type;
template <typename T>
constexpr bool kIsList = false;
template <typename T>
constexpr bool kIsList<std::vector<T>> = true;
template <typename T>
constexpr bool kIsList<std::set<T>> = true;

// The field as its own type: an unsigned integer or enum (range-checked for the field), a bool,
// a float or double, a string, or a vector or set of strings or of unsigned integers or enums.
struct Plain {
  template <typename T>
  static bool Parse(const MemberReader& reader, const char* key, T& out) {
    if constexpr (std::is_same<T, bool>::value) {
      return reader.ReadBool(key, out);
    } else if constexpr (std::is_same<T, float>::value) {
      return reader.ReadFloat(key, out);
    } else if constexpr (std::is_same<T, double>::value) {
      return reader.ReadDouble(key, out);
    } else if constexpr (std::is_same<T, std::string>::value) {
      return reader.ReadString(key, out);
    } else if constexpr (kIsList<T>) {
      using Element = typename T::value_type;
      std::vector<NumberOf<Element>> values;
      if constexpr (std::is_same<Element, std::string>::value) {
        if (!reader.ReadStrings(key, values)) return false;
      } else if (!reader.ReadUnsignedList(key, values)) {
        return false;
      }
      for (auto& value : values) out.insert(out.end(), static_cast<Element>(std::move(value)));
      return true;
    } else {
      NumberOf<T> number{};
      if (!reader.ReadUnsigned(key, number)) return false;
      out = static_cast<T>(number);
      return true;
    }
  }

  template <typename T>
  static json Show(const T& value) {
    if constexpr (kIsList<T>) {
      json list = json::array();
      for (const auto& element : value) list.push_back(Show(element));
      return list;
    } else if constexpr (std::is_enum<T>::value) {
      return static_cast<NumberOf<T>>(value);
    } else {
      return value;
    }
  }
};

template <auto Field>
constexpr RowOf<Field> Value(const char* key, int part = 0) {
  return As<Plain, Field>(key, part);
}

// An unsigned number that true and false also give, as 1 and 0.
struct BoolOrUnsigned : Plain {
  template <typename T>
  static bool Parse(const MemberReader& reader, const char* key, T& out) {
    const json* value = reader.Find(key);
    if (value != nullptr && value->is_boolean()) {
      out = value->get<bool>() ? 1 : 0;
      return true;
    }
    if (value != nullptr && !value->is_number_unsigned()) {
      throw ScenarioError("member " + Quote(reader.Name(key)) +
                          " must be a boolean or an unsigned integer");
    }
    return reader.ReadUnsigned(key, out);
  }
};

// A 32-bit number the daemon keeps in network order.
struct NetworkOrder {
  static bool Parse(const MemberReader& reader, const char* key, uint32_t& out) {
    if (!reader.ReadUnsigned(key, out)) return false;
    out = htonl(out);
    return true;
  }
  static json Show(uint32_t value) { return ntohl(value); }
};

// Bytes as hex text.
struct Hex {
  static bool Parse(const MemberReader& reader, const char* key, std::vector<uint8_t>& out) {
    std::string text;
    if (!reader.ReadString(key, text)) return false;
    out = ParseHexBytes(text, reader.Name(key));
    return true;
  }
  static json Show(const std::vector<uint8_t>& bytes) { return HexText(bytes); }
};

// An address as text of `kind` (written with the port of an IP address when `with_port`).
template <AddressKind kind, bool with_port>
struct AddressAs {
  static bool Parse(const MemberReader& reader, const char* key, kvAddr& out) {
    std::string text;
    if (!reader.ReadString(key, text)) return false;
    ParseAddress(text, kind, reader.Name(key), out);
    return true;
  }
  static json Show(const kvAddr& addr) { return AddressText(addr, with_port); }
};
using Mac = AddressAs<AddressKind::kMac, false>;
using IpWithPort = AddressAs<AddressKind::kIp, true>;

// The port applies to the address given in the same op, or else to the one the record holds,
// which must then be an IP address.
template <auto Field>
void ReadEndpoint(const RowOf<Field>& row, const MemberReader& reader, PatchOf<Field>& patch) {
  kvAddr addr;
  const bool has_ip = IpWithPort::Parse(reader, row.key, addr);
  uint16_t port = 0;
  const bool has_port = reader.ReadUnsigned(row.port_key, port);
  const std::string problem = "member " + Quote(reader.Name(row.port_key)) +
                              " needs an IP address in " + Quote(reader.Name(row.key));
  if (has_port && has_ip && !SetPort(addr, port)) throw ScenarioError(problem);

  if (has_ip) {
    patch.Set(row, [addr](RecordOf<Field>& record) { record.*Field = addr; });
  } else if (has_port) {
    patch.Require([problem](const RecordOf<Field>& record) {
      kvAddr probe(record.*Field);
      if (!SetPort(probe, 0)) throw ScenarioError(problem);
    });
    patch.Set(row, [port](RecordOf<Field>& record) { SetPort(record.*Field, port); });
  }
}

template <auto Field>
void WriteEndpoint(const RowOf<Field>& row, const RecordOf<Field>& record, json& object) {
  const kvAddr& addr = record.*Field;
  object[row.key] = AddressText(addr, false);
  if (addr.Family() == AF_INET || addr.Family() == AF_INET6) {
    object[row.port_key] = addr.GetPort(true);
  }
}

// An IP address member and its port member (written when the field holds an IP address).
template <auto Field>
constexpr RowOf<Field> Endpoint(const char* ip_key, const char* port_key) {
  return Row<Field>(ip_key, port_key, &ReadEndpoint<Field>, &WriteEndpoint<Field>);
}

template <auto Field, const auto& table>
void ReadObject(const RowOf<Field>& row, const MemberReader& reader, PatchOf<Field>& patch) {
  const json* object = reader.ReadObject(row.key);
  if (object == nullptr) return;
  MemberReader inner(*object, reader.Name(row.key) + ".");
  RequireKnown(inner, table);
  auto changes = std::make_shared<RecordPatch<ValueOf<Field>>>();
  ReadMembers(table, inner, *changes);
  patch.Require([changes](const RecordOf<Field>& record) { changes->Check(record.*Field); });
  patch.Set(row, [changes](RecordOf<Field>& record) { changes->Apply(record.*Field); });
}

template <auto Field, const auto& table>
void WriteObject(const RowOf<Field>& row, const RecordOf<Field>& record, json& object) {
  object[row.key] = WriteRecord(table, record.*Field);
}

// A struct field as an object, whose members `table` describes.
template <auto Field, const auto& table>
constexpr RowOf<Field> Object(const char* key) {
  return Row<Field>(key, nullptr, &ReadObject<Field, table>, &WriteObject<Field, table>);
}

}  // namespace replay
