#pragma once
// The text key of a row: the chosen fields' values, each turned into text and framed by its length, so
// that two different lists of values never give the same key (a value holding the separator cannot
// shift text from one field into the next).
#include "db/value.h"
#include <string>
#include <string_view>

namespace dedupe {

// Appends one framed part: decimal byte length, ':', the text. Null counts as empty text.
void appendKeyPart(std::string& key, std::string_view text);

// Appends the part of one value. Null and empty text give the same part; a number gives the same part
// as a text that reads the same (as db::Value::toText writes it: 100000.0 as "100000", 0.1 + 0.2 as
// "0.3"). A blob's part is its bytes framed apart from any text's, so a blob repeats only a blob of the
// same bytes, never the text of its hexadecimal digits.
void appendKeyPart(std::string& key, const db::Value& value);

} // namespace dedupe
