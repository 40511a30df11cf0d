#include "dedupe/key_rules.h"
#include "db/ascii.h"

#include <string>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <vector>

namespace dedupe {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string trimmed(const std::string& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

// Full Unicode case folding through UTF-16. A text that is not valid UTF-8 has its ASCII letters folded
// and its other bytes kept, so that it can still only equal a text of the same bytes.
std::string folded(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR)
        status = U_ZERO_ERROR;
    std::vector<UChar> wide(static_cast<std::size_t>(length) + 1);
    if (U_SUCCESS(status))
        u_strFromUTF8(wide.data(), length + 1, &length, text.data(), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        std::string ascii = text;
        for (char& c : ascii)
            c = db::ascii::toLower(c);
        return ascii;
    }
    std::vector<UChar> fold(static_cast<std::size_t>(length) * 3 + 1);
    int32_t foldLength =
        u_strFoldCase(fold.data(), static_cast<int32_t>(fold.size()), wide.data(), length, U_FOLD_CASE_DEFAULT, &status);
    std::string out(static_cast<std::size_t>(foldLength) * 3 + 1, '\0');
    int32_t outLength = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &outLength, fold.data(), foldLength, &status);
    out.resize(static_cast<std::size_t>(outLength));
    return out;
}

} // namespace

db::Value valueForKey(const db::Value& value, const KeyRules& rules) {
    if (rules.exact() || !value.isText())
        return value;
    std::string text = value.asText();
    if (rules.trim)
        text = trimmed(text);
    if (rules.ignoreCase)
        text = folded(text);
    return db::Value(std::move(text));
}

} // namespace dedupe
