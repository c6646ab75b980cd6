// ReleaseDocument: frees a document's values from the leaves up.
#pragma once

#include "kv/json.h"

namespace kpp {

// Empties `document` (null stays null, a container stays a container of its kind), freeing each
// nested container after its own members. The library's destructor would instead move every
// nested value into a list it grows per container; this frees the same values with none of
// those moves. Nesting deeper than a bounded number of levels is left to the library's
// destructor, which does not recurse.
void ReleaseDocument(json& document);

}  // namespace kpp
