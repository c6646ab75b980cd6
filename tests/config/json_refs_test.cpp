// ObjectRef and StringRef: the JSON library's conversion errors, raised without a copy.
#include "config/json_refs.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config_test_support.h"

namespace {

using kpp::config::ObjectRef;
using kpp::config::StringRef;

// One value of every JSON type.
std::vector<json> EveryType() {
  return {nullptr, true, -1, 1u, 1.5, "text", json::array({1}), json::object(), json::binary({1})};
}

template <typename Call>
std::string TypeErrorOf(Call call) {
  try {
    call();
  } catch (const json::type_error& e) {
    return e.what();
  }
  return "no type error";
}

TEST(JsonRefs, ObjectRefRaisesWhatConvertingToAnObjectRaises) {
  for (const json& value : EveryType()) {
    if (value.is_object()) continue;
    EXPECT_EQ(TypeErrorOf([&] { ObjectRef(value); }),
              TypeErrorOf([&] { value.get<std::map<std::string, json>>(); }))
        << value.type_name();
  }
  EXPECT_EQ(TypeErrorOf([] { ObjectRef(json::array()); }),
            "[json.exception.type_error.302] type must be object, but is array");
  EXPECT_EQ(TypeErrorOf([] { ObjectRef(json()); }),
            "[json.exception.type_error.302] type must be object, but is null");
}

TEST(JsonRefs, StringRefRaisesWhatConvertingToAStringRaises) {
  for (const json& value : EveryType()) {
    if (value.is_string()) continue;
    EXPECT_EQ(TypeErrorOf([&] { StringRef(value); }),
              TypeErrorOf([&] { value.get<std::string>(); }))
        << value.type_name();
  }
  EXPECT_EQ(TypeErrorOf([] { StringRef(json(1.5)); }),
            "[json.exception.type_error.302] type must be string, but is number");
}

TEST(JsonRefs, RefersToTheValueItself) {
  const json object = {{"a", 1}};
  EXPECT_EQ(&ObjectRef(object), object.get_ptr<const json::object_t*>());
  const json text = "ab";
  EXPECT_EQ(&StringRef(text), text.get_ptr<const std::string*>());
}

TEST(JsonRefs, DeeplyNestedValueIsRejectedWithoutRecursion) {
  const json nested = json::parse(korvel_test::NestedArrays(korvel_test::kHostileDepth));
  EXPECT_EQ(TypeErrorOf([&] { ObjectRef(nested); }),
            "[json.exception.type_error.302] type must be object, but is array");
  EXPECT_EQ(TypeErrorOf([&] { StringRef(nested); }),
            "[json.exception.type_error.302] type must be string, but is array");
}

}  // namespace
