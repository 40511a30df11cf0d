#include "dedupe/row_key.h"
#include <charconv>

namespace dedupe {

namespace {

void appendFramed(std::string& key, std::string_view bytes, char marker) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, bytes.size());
    (void)ec; // 24 digits always hold a size_t
    key.append(digits, end);
    key.push_back(marker);
    key.append(bytes);
}

} // namespace

void appendKeyPart(std::string& key, std::string_view text) {
    appendFramed(key, text, ':');
}

void appendKeyPart(std::string& key, const db::Value& value) {
    if (value.isNull()) {
        appendKeyPart(key, std::string_view{});
    } else if (value.isText()) {
        appendKeyPart(key, std::string_view{value.asText()});
    } else if (value.isInteger()) {
        // The common non-text case: decimal digits without a temporary string.
        char digits[24];
        auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value.asInteger());
        (void)ec;
        appendKeyPart(key, std::string_view(digits, static_cast<std::size_t>(end - digits)));
    } else if (value.isBlob()) {
        // Its own marker: the length frame then keeps a blob apart from every text, whatever the bytes.
        const auto& bytes = value.asBlob().bytes;
        appendFramed(key, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), '#');
    } else {
        appendKeyPart(key, std::string_view{value.toText()});
    }
}

} // namespace dedupe
