// ReleaseDocument: empties documents of every shape, however deeply they nest.
#include <gtest/gtest.h>

#include "payload/release_document.h"

namespace {

TEST(ReleaseDocument, EmptiesEachShapeAndKeepsItsKind) {
  const struct {
    json document;
    json emptied;
  } cases[] = {
      {json(), json()},
      {json(7), json(7)},
      {json("text"), json("text")},
      {json::parse(R"({"a":{"b":[1,{"c":"d"}],"e":{}},"f":[[]],"g":"h"})"), json::object()},
      {json::parse(R"([{"a":1},[2,[3]],"x"])"), json::array()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.document.dump());
    json document = c.document;
    kpp::ReleaseDocument(document);
    EXPECT_EQ(document, c.emptied);
    EXPECT_EQ(document.type(), c.emptied.type());
  }
}

// Nesting far below the levels released by recursion is left to the library's destructor, which
// does not recurse either; the document is emptied all the same.
TEST(ReleaseDocument, EmptiesNestingAMillionLevelsDeep) {
  const std::string text = std::string(1000000, '[') + std::string(1000000, ']');
  json document = json::parse(text);
  kpp::ReleaseDocument(document);
  EXPECT_EQ(document, json::array());
}

}  // namespace
