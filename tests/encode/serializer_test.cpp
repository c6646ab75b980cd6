// Tests of kvSerializer::serialize: key paths, skipped values, value types and type errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kv/serializer.h"

namespace {

using Path = kvSerializer::Path;

const Path kNoKeys{};
const Path kOneKey{"a"};
const Path kTwoKeys{"a", "b"};
const Path kThreeKeys{"a", "b", "c"};
const std::string kSeparator(",");

// Writes one value of every overload at `path`.
void WriteEveryType(json& j, const Path& path) {
  const kvSerializer writer;
  writer.serialize(j, path, std::string("text"));
  const std::string lvalue("text");
  writer.serialize(j, path, lvalue);
  writer.serialize(j, path, std::vector<std::string>{"x"}, kSeparator);
  writer.serialize(j, path, "literal");
  const json value = 1;
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

TEST(SerializerPaths, EmptyPathWritesNothingForAnyOverload) {
  json j;
  WriteEveryType(j, kNoKeys);
  EXPECT_TRUE(j.is_null());

  json existing = json::parse(R"({"k": 1})");
  WriteEveryType(existing, kNoKeys);
  EXPECT_EQ(existing, json::parse(R"({"k": 1})"));
}

TEST(SerializerPaths, ThreeKeysWriteNothingForAnyOverload) {
  json j;
  WriteEveryType(j, kThreeKeys);
  EXPECT_TRUE(j.is_null());

  json existing = json::parse(R"({"a": {"b": {}}})");
  WriteEveryType(existing, kThreeKeys);
  EXPECT_EQ(existing, json::parse(R"({"a": {"b": {}}})"));
}

TEST(SerializerPaths, TwoKeysIntoNullMakeNestedObject) {
  const kvSerializer writer;
  json j;
  writer.serialize(j, kTwoKeys, 7u);
  EXPECT_EQ(j, json::parse(R"({"a": {"b": 7}})"));

  writer.serialize(j, Path{"a", "c"}, "x");
  EXPECT_EQ(j, json::parse(R"({"a": {"b": 7, "c": "x"}})"));
}

TEST(SerializerPaths, OneKeyKeepsOtherMembersAndReplacesAnyType) {
  const kvSerializer writer;
  json j = json::parse(R"({"a": {"x": 1}, "z": [1, 2]})");
  writer.serialize(j, kOneKey, 5u);
  EXPECT_EQ(j, json::parse(R"({"a": 5, "z": [1, 2]})"));

  writer.serialize(j, kOneKey, 6u);
  EXPECT_EQ(j, json::parse(R"({"a": 6, "z": [1, 2]})"));
}

TEST(SerializerPaths, TwoKeysReplaceOnlyTheInnerMember) {
  const kvSerializer writer;
  json j = json::parse(R"({"a": {"b": "old", "c": 1}})");
  writer.serialize(j, kTwoKeys, false);
  EXPECT_EQ(j, json::parse(R"({"a": {"b": false, "c": 1}})"));
}

TEST(SerializerPaths, TwoKeysIntoNullFirstMemberMakeIt) {
  const kvSerializer writer;
  json j = json::parse(R"({"a": null})");
  writer.serialize(j, kTwoKeys, 1u);
  EXPECT_EQ(j, json::parse(R"({"a": {"b": 1}})"));
}

TEST(SerializerTypeErrors, FirstKeyHoldingNumberThrowsAndLeavesDocument) {
  const kvSerializer writer;
  json j = json::parse(R"({"a": 3, "k": "v"})");
  try {
    writer.serialize(j, kTwoKeys, "value");
    FAIL() << "no type error";
  } catch (const json::type_error& error) {
    EXPECT_EQ(error.id, 305);
    EXPECT_STREQ(error.what(),
                 "[json.exception.type_error.305] cannot use operator[] with a string argument "
                 "with number");
  }
  EXPECT_EQ(j, json::parse(R"({"a": 3, "k": "v"})"));
}

TEST(SerializerTypeErrors, DocumentNotAnObjectThrowsAndStaysAsItWas) {
  const kvSerializer writer;
  json array = json::parse("[1]");
  try {
    writer.serialize(array, kOneKey, 1u);
    FAIL() << "no type error";
  } catch (const json::type_error& error) {
    EXPECT_STREQ(error.what(),
                 "[json.exception.type_error.305] cannot use operator[] with a string argument "
                 "with array");
  }
  EXPECT_EQ(array, json::parse("[1]"));

  json text = "s";
  EXPECT_THROW(writer.serialize(text, kTwoKeys, 1u), json::type_error);
  EXPECT_EQ(text, json("s"));
}

TEST(SerializerSkips, EmptyStringWritesNothingAndMakesNoObject) {
  const kvSerializer writer;
  json j = json::object();
  const std::string empty;
  writer.serialize(j, kOneKey, empty);
  writer.serialize(j, kTwoKeys, empty);
  writer.serialize(j, kTwoKeys, std::string());
  EXPECT_EQ(j, json::object());

  json null_doc;
  writer.serialize(null_doc, kTwoKeys, empty);
  EXPECT_TRUE(null_doc.is_null());
}

TEST(SerializerSkips, EmptyCharTextIsWritten) {
  const kvSerializer writer;
  json j;
  writer.serialize(j, kOneKey, "");
  EXPECT_EQ(j, json::parse(R"({"a": ""})"));
}

TEST(SerializerSkips, NullCharPointerIsNotRead) {
  const kvSerializer writer;
  json j = json::object();
  const char* none = nullptr;
  writer.serialize(j, kTwoKeys, none);
  EXPECT_EQ(j, json::object());
}

TEST(SerializerSkips, EmptyJsonValuesWriteNothing) {
  const kvSerializer writer;
  json j = json::object();
  const json null_value;
  const json empty_array = json::array();
  const json empty_object = json::object();
  writer.serialize(j, kTwoKeys, null_value);
  writer.serialize(j, kTwoKeys, empty_array);
  writer.serialize(j, kTwoKeys, empty_object);
  writer.serialize(j, kTwoKeys, json());
  writer.serialize(j, kTwoKeys, json::array());
  writer.serialize(j, kTwoKeys, json::object());
  EXPECT_EQ(j, json::object());
}

TEST(SerializerSkips, EmptyListWritesNothing) {
  const kvSerializer writer;
  json j = json::object();
  writer.serialize(j, kTwoKeys, std::vector<std::string>{}, kSeparator);
  EXPECT_EQ(j, json::object());
}

TEST(SerializerValues, FalseAndZeroAreWritten) {
  const kvSerializer writer;
  json j;
  writer.serialize(j, Path{"bool"}, false);
  writer.serialize(j, Path{"u8"}, static_cast<unsigned char>(0));
  writer.serialize(j, Path{"u16"}, static_cast<unsigned short>(0));
  writer.serialize(j, Path{"u32"}, 0u);
  writer.serialize(j, Path{"u64"}, 0ul);
  writer.serialize(j, Path{"long"}, 0l);
  writer.serialize(j, Path{"double"}, 0.0);
  EXPECT_EQ(j.dump(), R"({"bool":false,"double":0.0,"long":0,"u16":0,"u32":0,"u64":0,"u8":0})");
}

TEST(SerializerValues, NumbersKeepTheirKind) {
  const kvSerializer writer;
  json j;
  writer.serialize(j, Path{"u8"}, static_cast<unsigned char>(65));
  writer.serialize(j, Path{"u64"}, 18446744073709551615ul);
  writer.serialize(j, Path{"long"}, -5l);
  writer.serialize(j, Path{"double"}, 1.5);
  EXPECT_EQ(j.dump(), R"({"double":1.5,"long":-5,"u64":18446744073709551615,"u8":65})");
  EXPECT_TRUE(j["u8"].is_number_unsigned());
  EXPECT_TRUE(j["u64"].is_number_unsigned());
  EXPECT_TRUE(j["long"].is_number_integer());
  EXPECT_FALSE(j["long"].is_number_unsigned());
  EXPECT_TRUE(j["double"].is_number_float());
}

TEST(SerializerValues, JsonEmptyStringAndZeroAreWritten) {
  const kvSerializer writer;
  json j;
  const json empty_text = "";
  writer.serialize(j, Path{"text"}, empty_text);
  writer.serialize(j, Path{"zero"}, json(0));
  writer.serialize(j, Path{"no"}, json(false));
  EXPECT_EQ(j, json::parse(R"({"text": "", "zero": 0, "no": false})"));
}

TEST(SerializerValues, JsonValueIsCopiedWhole) {
  const kvSerializer writer;
  json j;
  const json value = json::parse(R"({"x": [1, {"y": null}]})");
  writer.serialize(j, kTwoKeys, value);
  EXPECT_EQ(j, json::parse(R"({"a": {"b": {"x": [1, {"y": null}]}}})"));
  EXPECT_EQ(value, json::parse(R"({"x": [1, {"y": null}]})"));
}

TEST(SerializerValues, ListIsAnArrayInOrderWhateverTheSeparator) {
  const kvSerializer writer;
  json j;
  writer.serialize(j, kOneKey, std::vector<std::string>{"a", "b"}, kSeparator);
  writer.serialize(j, Path{"c"}, std::vector<std::string>{"z", "y"}, std::string());
  EXPECT_EQ(j, json::parse(R"({"a": ["a", "b"], "c": ["z", "y"]})"));
}

TEST(SerializerValues, MovedStringIsWritten) {
  const kvSerializer writer;
  json j;
  std::string text("moved text that is longer than the short-string buffer");
  writer.serialize(j, kTwoKeys, std::move(text));
  EXPECT_EQ(
      j, json::parse(R"({"a": {"b": "moved text that is longer than the short-string buffer"}})"));
}

}  // namespace
