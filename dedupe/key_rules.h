#pragma once
// How loosely the command line may compare the chosen fields: without regard to letter case (Unicode case
// folding: "Ärger" equals "ärger"), to leading and trailing blanks, to runs of blanks, to accents, to
// punctuation, or to anything but the words in any order. Each rule applies to each field's value on its
// own; only the comparison changes, the rows keep their values as stored. The wizard always compares
// exactly.
#include "db/value.h"
#include <string>

namespace dedupe {

struct KeyRules {
    bool ignoreCase = false;
    bool trim = false;
    bool collapseBlanks = false;
    bool foldAccents = false;
    bool ignorePunctuation = false;
    bool sameWords = false;
    bool exact() const {
        return !ignoreCase && !trim && !collapseBlanks && !foldAccents && !ignorePunctuation && !sameWords;
    }
};

// The value as the key sees it under `rules`: a number or a text loosened by the rules (a number as the
// text it reads, so that it still equals a text that reads the same), Null and blobs unchanged.
db::Value valueForKey(const db::Value& value, const KeyRules& rules);

// Appends the key part of `value` under `rules` (see row_key.h); true when the part is empty: a Null, or
// a text or blob with nothing left in it.
bool appendRuledKeyPart(std::string& key, const db::Value& value, const KeyRules& rules);

} // namespace dedupe
