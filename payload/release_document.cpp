// ReleaseDocument: frees a document's values from the leaves up.
#include "payload/release_document.h"

namespace kpp {

namespace {

// Levels released by recursion; a flow document nests four at most.
constexpr int kReleaseDepth = 16;

void Release(json& value, int depth) {
  if (json::object_t* object = value.get_ptr<json::object_t*>()) {
    if (depth < kReleaseDepth) {
      for (auto& member : *object) Release(member.second, depth + 1);
    }
    object->clear();
  } else if (json::array_t* array = value.get_ptr<json::array_t*>()) {
    if (depth < kReleaseDepth) {
      for (json& item : *array) Release(item, depth + 1);
    }
    array->clear();
  }
}

}  // namespace

void ReleaseDocument(json& document) {
  Release(document, 0);
}

}  // namespace kpp
