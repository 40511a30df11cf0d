#include "dedupe/key_rules.h"
#include "db/ascii.h"

#include "dedupe/loose_keys.h"
#include "dedupe/row_key.h"

namespace dedupe {

db::Value valueForKey(const db::Value& value, const KeyRules& rules) {
    if (rules.exact() || value.isNull() || value.isBlob())
        return value;
    LooseRules loose;
    loose.ignoreCase = rules.ignoreCase;
    loose.trim = rules.trim;
    loose.collapseBlanks = rules.collapseBlanks;
    loose.foldAccents = rules.foldAccents;
    loose.ignorePunctuation = rules.ignorePunctuation;
    loose.sameWords = rules.sameWords;
    if (value.isText())
        return db::Value(loosened(value.asText(), loose));
    // Case and blanks never change how a number reads; the other rules can ("1.5" without punctuation).
    if (!rules.collapseBlanks && !rules.ignorePunctuation && !rules.sameWords)
        return value;
    return db::Value(loosened(value.toText(), loose));
}

bool appendRuledKeyPart(std::string& key, const db::Value& value, const KeyRules& rules) {
    const std::size_t before = key.size();
    if (rules.exact())
        appendKeyPart(key, value);
    else
        appendKeyPart(key, valueForKey(value, rules));
    // An empty part is the frame of nothing: "0:" for a text, "0#" for a blob.
    return key.size() == before + 2 && key[before] == '0';
}

} // namespace dedupe
