#pragma once
// The looser comparisons of a text key: punctuation ignored, accents ignored, runs of blanks as one blank,
// and the same words in any order. Each works on one field's text; the rows keep their values as stored.
#include <string>
#include <string_view>

namespace dedupe {

struct LooseRules {
    bool ignorePunctuation = false; // Unicode general category P* removed
    bool foldAccents = false;       // canonical decomposition, then combining marks (M*) removed
    bool collapseBlanks = false;    // a run of Unicode white space counts as one blank
    bool trim = false;              // leading and trailing ASCII blanks removed
    bool ignoreCase = false;        // Unicode full case folding
    bool sameWords = false;         // the sorted set of words, case and accents ignored (overrides the rest)
};

// `text` as the key sees it under `rules`, applied in the order listed above. A text that is not valid
// UTF-8 is treated byte by byte: ASCII by the same rules, any other byte as a letter kept as it is, so it
// can still only equal a text with the same bytes.
std::string loosened(std::string_view text, const LooseRules& rules);

} // namespace dedupe
