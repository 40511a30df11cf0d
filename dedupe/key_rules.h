#pragma once
// How loosely the command line may compare the chosen fields: without regard to letter case (Unicode case
// folding: "Ärger" equals "ärger") and/or to leading and trailing blanks. Only the comparison changes; the
// rows keep their values as stored. The wizard always compares exactly.
#include "db/value.h"

namespace dedupe {

struct KeyRules {
    bool ignoreCase = false;
    bool trim = false;
    bool exact() const { return !ignoreCase && !trim; }
};

// The value as the key sees it under `rules`: a text trimmed and/or case-folded, anything else unchanged.
db::Value valueForKey(const db::Value& value, const KeyRules& rules);

} // namespace dedupe
