// Tests of kvSerializer::serialize: key paths, skipped values, value kinds and type errors.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kv/serializer.h"

namespace {

using Path = kvSerializer::Path;
const kvSerializer writer;
const Path kAB{"a", "b"};

// Writes one value of every overload at `path`.
void WriteEveryType(json& j, const Path& path) {
  const std::string lvalue("text");
  const json value = 1;
  writer.serialize(j, path, std::string("text"));
  writer.serialize(j, path, lvalue);
  writer.serialize(j, path, std::vector<std::string>{"x"}, ",");
  writer.serialize(j, path, "literal");
  writer.serialize(j, path, value);
  writer.serialize(j, path, json::array({1}));
  writer.serialize(j, path, true);
  writer.serialize(j, path, static_cast<unsigned char>(1));
  writer.serialize(j, path, static_cast<unsigned short>(1));
  writer.serialize(j, path, 1u);
  writer.serialize(j, path, 1ul);
  writer.serialize(j, path, 1l);
  writer.serialize(j, path, 1.0);
}

TEST(Serializer, WritesByPathAndSkipsEmptyValues) {
  const std::string empty;
  const json null_value, empty_array = json::array(), empty_object = json::object();
  const struct {
    const char* name;
    const char* start;
    std::function<void(json&)> write;
    const char* expected;  // printed, so that number kinds count
  } cases[] = {
      {"no keys or three keys", R"({"a":{"b":{}}})",
       [](json& j) {
         WriteEveryType(j, {}), WriteEveryType(j, {"a", "b", "c"});
       },
       R"({"a":{"b":{}}})"},
      {"no keys or three keys into null", "null",
       [](json& j) {
         WriteEveryType(j, {}), WriteEveryType(j, {"a", "b", "c"});
       },
       "null"},
      {"two keys into null, then a sibling", "null",
       [](json& j) {
         writer.serialize(j, kAB, 7u), writer.serialize(j, {"a", "c"}, "x");
       },
       R"({"a":{"b":7,"c":"x"}})"},
      {"one key replaces any kind, keeps the rest", R"({"a":{"x":1},"z":[1,2]})",
       [](json& j) { writer.serialize(j, {"a"}, 5u), writer.serialize(j, {"a"}, 6u); },
       R"({"a":6,"z":[1,2]})"},
      {"two keys replace only the inner member", R"({"a":{"b":"old","c":1}})",
       [](json& j) { writer.serialize(j, kAB, false); }, R"({"a":{"b":false,"c":1}})"},
      {"two keys into a null first member", R"({"a":null})",
       [](json& j) { writer.serialize(j, kAB, 1u); }, R"({"a":{"b":1}})"},
      {"empty strings make no object", "{}",
       [&empty](json& j) {
         writer.serialize(j, {"a"}, empty);
         writer.serialize(j, kAB, empty);
         writer.serialize(j, kAB, std::string());
       },
       "{}"},
      {"empty string into null", "null", [&empty](json& j) { writer.serialize(j, kAB, empty); },
       "null"},
      {"empty char text is written", "null", [](json& j) { writer.serialize(j, {"a"}, ""); },
       R"({"a":""})"},
      {"null char pointer is not read", "{}",
       [](json& j) { writer.serialize(j, kAB, static_cast<const char*>(nullptr)); }, "{}"},
      {"empty json values and lists", "{}",
       [&](json& j) {
         for (const json* value : {&null_value, &empty_array, &empty_object}) {
           writer.serialize(j, kAB, *value);
         }
         writer.serialize(j, kAB, json());
         writer.serialize(j, kAB, json::array());
         writer.serialize(j, kAB, json::object());
         writer.serialize(j, kAB, std::vector<std::string>{}, ",");
       },
       "{}"},
      {"false, zeros and the largest values are written, numbers keep their kind", "null",
       [](json& j) {
         writer.serialize(j, {"bool"}, false);
         writer.serialize(j, {"u8"}, static_cast<unsigned char>(0));
         writer.serialize(j, {"u8_65"}, static_cast<unsigned char>(65));
         writer.serialize(j, {"u16"}, static_cast<unsigned short>(0));
         writer.serialize(j, {"u32"}, 0u);
         writer.serialize(j, {"u64"}, 0ul);
         writer.serialize(j, {"u64_max"}, 18446744073709551615ul);
         writer.serialize(j, {"long"}, -5l);
         writer.serialize(j, {"double"}, 0.0);
         writer.serialize(j, {"text"}, json(""));
         writer.serialize(j, {"zero"}, json(0));
         writer.serialize(j, {"no"}, json(false));
       },
       R"({"bool":false,"double":0.0,"long":-5,"no":false,"text":"","u16":0,"u32":0,"u64":0,)"
       R"("u64_max":18446744073709551615,"u8":0,"u8_65":65,"zero":0})"},
      {"json value copied whole", "null",
       [](json& j) { writer.serialize(j, kAB, json::parse(R"({"x": [1, {"y": null}]})")); },
       R"({"a":{"b":{"x":[1,{"y":null}]}}})"},
      {"lists are arrays in order whatever the separator", "null",
       [](json& j) {
         writer.serialize(j, {"a"}, std::vector<std::string>{"a", "b"}, ",");
         writer.serialize(j, {"c"}, std::vector<std::string>{"z", "y"}, "");
       },
       R"({"a":["a","b"],"c":["z","y"]})"},
      {"moved string", "null", [](json& j) { writer.serialize(j, kAB, std::string(40, 'm')); },
       R"({"a":{"b":"mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm"}})"},
  };
  for (const auto& c : cases) {
    json j = json::parse(c.start);
    c.write(j);
    EXPECT_EQ(j.dump(), c.expected) << c.name;
  }
  json kinds;
  writer.serialize(kinds, {"u8"}, static_cast<unsigned char>(65));
  writer.serialize(kinds, {"long"}, 5l);
  EXPECT_TRUE(kinds["u8"].is_number_unsigned());
  EXPECT_FALSE(kinds["long"].is_number_unsigned());  // "5" either way when printed
}

TEST(Serializer, TypeErrorsLeaveTheDocumentAsItWas) {
  const struct {
    const char* start;
    Path path;
    const char* message;
  } cases[] = {
      {R"({"a":3,"k":"v"})", kAB,
       "[json.exception.type_error.305] cannot use operator[] with a string argument with number"},
      {"[1]",
       {"a"},
       "[json.exception.type_error.305] cannot use operator[] with a string argument with array"},
      {R"("s")", kAB,
       "[json.exception.type_error.305] cannot use operator[] with a string argument with string"},
  };
  for (const auto& c : cases) {
    for (bool text : {true, false}) {
      json j = json::parse(c.start);
      try {
        text ? writer.serialize(j, c.path, "value") : writer.serialize(j, c.path, 1u);
        ADD_FAILURE() << "no type error for " << c.start;
      } catch (const json::type_error& error) {
        EXPECT_STREQ(error.what(), c.message);
      }
      EXPECT_EQ(j.dump(), c.start);
    }
  }
}

}  // namespace
