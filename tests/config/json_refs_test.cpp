// ObjectRef and StringRef: the JSON library's conversion errors, raised without a copy.
#include "config/json_refs.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "kv/json.h"

namespace {

using kpp::config::ObjectRef;
using kpp::config::StringRef;

template <typename Call>
std::string TypeErrorOf(Call call) {
  try {
    call();
  } catch (const json::type_error& e) {
    return e.what();
  }
  return "no type error";
}

// Every JSON type but the right one raises what the library's own conversion raises.
TEST(JsonRefs, RaiseWhatConvertingRaisesAndReferToTheValueItself) {
  for (const json& value : {json(nullptr), json(true), json(-1), json(1u), json(1.5), json("text"),
                            json::array({1}), json::object(), json::binary({1})}) {
    SCOPED_TRACE(value.type_name());
    EXPECT_EQ(TypeErrorOf([&] { ObjectRef(value); }),
              value.is_object() ? "no type error"
                                : TypeErrorOf([&] { value.get<std::map<std::string, json>>(); }));
    EXPECT_EQ(TypeErrorOf([&] { StringRef(value); }),
              value.is_string() ? "no type error" : TypeErrorOf([&] { value.get<std::string>(); }));
  }
  EXPECT_EQ(TypeErrorOf([] { ObjectRef(json::array()); }),
            "[json.exception.type_error.302] type must be object, but is array");
  EXPECT_EQ(TypeErrorOf([] { StringRef(json(1.5)); }),
            "[json.exception.type_error.302] type must be string, but is number");

  const json object = {{"a", 1}};
  EXPECT_EQ(&ObjectRef(object), object.get_ptr<const json::object_t*>());
  const json text = "ab";
  EXPECT_EQ(&StringRef(text), text.get_ptr<const std::string*>());
}

}  // namespace
