#include "db/pg/rows.h"
#include "db/types.h"
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

namespace db::pg {

namespace {

// Type oids of the server's built-in types (pg_type.dat); stable across versions.
enum Oid : unsigned {
    kBool = 16,
    kBytea = 17,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kDate = 1082,
    kTimestamp = 1114,
    kTimestampTz = 1184,
    kNumeric = 1700,
    kUuid = 2950,
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool integerOid(unsigned oid) {
    return oid == kInt2 || oid == kInt4 || oid == kInt8 || oid == kOid;
}

int typeCode(unsigned oid) {
    switch (oid) {
    case kInt4:
        return adInteger;
    case kInt2:
        return adSmallInt;
    case kInt8:
        return adBigInt;
    case kFloat4:
        return adSingle;
    case kFloat8:
        return adDouble;
    case kNumeric:
        return adNumeric;
    case kBool:
        return adBoolean;
    case kBytea:
        return adLongVarBinary;
    case kDate:
    case kTimestamp:
    case kTimestampTz:
        return adDate;
    case kUuid:
        return adGUID;
    default:
        return adVarWChar;
    }
}

namespace {

std::optional<std::int64_t> wholeNumber(std::string_view text) {
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && end == text.data() + text.size())
        return v;
    return std::nullopt;
}

std::optional<double> realNumber(std::string_view text) {
    // strtod reads "NaN", "Infinity" and "-Infinity" as the server writes them.
    const std::string copy(text);
    char* end = nullptr;
    const double d = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() + copy.size())
        return d;
    return std::nullopt;
}

bool isHexBytea(unsigned oid, std::string_view text) {
    return oid == kBytea && text.size() >= 2 && text[0] == '\\' && text[1] == 'x';
}

void unhex(std::string_view text, unsigned char* out) {
    for (std::size_t i = 2; i + 1 < text.size(); i += 2)
        *out++ = static_cast<unsigned char>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1]));
}

} // namespace

Value valueFromText(unsigned oid, std::string_view text) {
    if (integerOid(oid)) {
        if (const auto v = wholeNumber(text))
            return Value(*v);
    } else if (oid == kFloat4 || oid == kFloat8) {
        if (const auto d = realNumber(text))
            return Value(*d);
    } else if (isHexBytea(oid, text)) {
        Blob blob;
        blob.bytes.resize((text.size() - 2) / 2);
        unhex(text, blob.bytes.data());
        return Value(std::move(blob));
    }
    return Value(std::string(text));
}

std::optional<std::int64_t> placeNumber(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (text.size() < 5 || text.front() != '(' || text.back() != ')' || comma == std::string_view::npos)
        return std::nullopt;
    const auto block = wholeNumber(text.substr(1, comma - 1));
    const auto offset = wholeNumber(text.substr(comma + 1, text.size() - comma - 2));
    if (!block || !offset || *block < 0 || *offset < 0 || *offset > 65535)
        return std::nullopt;
    return *block * 65536 + *offset;
}

void PackedRows::append(const Row& row, const std::vector<unsigned>& typeOids) {
    beginRow();
    const int columns = static_cast<int>(typeOids.size());
    for (int c = 0; c < columns; ++c) {
        if (row.isNull(c)) {
            appendNull();
            continue;
        }
        const unsigned oid = typeOids[static_cast<std::size_t>(c)];
        const std::string_view text = row.text(c);
        if (integerOid(oid)) {
            if (const auto v = wholeNumber(text)) {
                appendInteger(*v);
                continue;
            }
        } else if (oid == kFloat4 || oid == kFloat8) {
            if (const auto d = realNumber(text)) {
                appendReal(*d);
                continue;
            }
        } else if (isHexBytea(oid, text)) {
            unhex(text, appendBlobSpace((text.size() - 2) / 2));
            continue;
        }
        appendText(text.data(), text.size());
    }
}

} // namespace db::pg
