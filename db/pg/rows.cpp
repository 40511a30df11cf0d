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

Value valueFromText(unsigned oid, std::string_view text) {
    if (integerOid(oid)) {
        std::int64_t v = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec == std::errc() && end == text.data() + text.size())
            return Value(v);
    } else if (oid == kFloat4 || oid == kFloat8) {
        // strtod reads "NaN", "Infinity" and "-Infinity" as the server writes them.
        const std::string copy(text);
        char* end = nullptr;
        const double d = std::strtod(copy.c_str(), &end);
        if (end == copy.c_str() + copy.size())
            return Value(d);
    } else if (oid == kBytea && text.size() >= 2 && text[0] == '\\' && text[1] == 'x') {
        Blob blob;
        blob.bytes.reserve((text.size() - 2) / 2);
        for (std::size_t i = 2; i + 1 < text.size(); i += 2)
            blob.bytes.push_back(static_cast<unsigned char>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1])));
        return Value(std::move(blob));
    }
    return Value(std::string(text));
}

void PackedRows::append(const Row& row, const std::vector<unsigned>& typeOids) {
    m_offsets.push_back(m_data.size());
    const int columns = static_cast<int>(typeOids.size());
    for (int c = 0; c < columns; ++c) {
        if (row.isNull(c)) {
            m_data.push_back(kNull);
            continue;
        }
        const Value v = valueFromText(typeOids[static_cast<std::size_t>(c)], row.text(c));
        if (v.isInteger()) {
            const std::int64_t i = v.asInteger();
            m_data.push_back(kInteger);
            putVarint((static_cast<std::uint64_t>(i) << 1) ^ (i < 0 ? ~std::uint64_t{0} : 0));
        } else if (v.isReal()) {
            const double d = v.asReal();
            unsigned char bytes[sizeof d];
            std::memcpy(bytes, &d, sizeof d);
            m_data.push_back(kReal);
            m_data.insert(m_data.end(), bytes, bytes + sizeof d);
        } else {
            const bool blob = v.isBlob();
            const auto* p = blob ? v.asBlob().bytes.data() : reinterpret_cast<const unsigned char*>(v.asText().data());
            const std::size_t len = blob ? v.asBlob().bytes.size() : v.asText().size();
            m_data.push_back(blob ? kBlob : kText);
            putVarint(len);
            m_data.insert(m_data.end(), p, p + len);
        }
    }
}

void PackedRows::finish() {
    m_data.shrink_to_fit();
    m_offsets.shrink_to_fit();
}

void PackedRows::clear() {
    m_data.clear();
    m_offsets.clear();
}

Value PackedRows::value(long long row, int column, int columns) const {
    if (column < 0 || column >= columns)
        return Value();
    std::size_t at = m_offsets[static_cast<std::size_t>(row)];
    for (int c = 0; c < column; ++c)
        skip(at);
    switch (m_data[at++]) {
    case kInteger: {
        const std::uint64_t z = getVarint(at);
        return Value(static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1)));
    }
    case kReal: {
        double d;
        std::memcpy(&d, m_data.data() + at, sizeof d);
        return Value(d);
    }
    case kText: {
        const auto len = static_cast<std::size_t>(getVarint(at));
        return Value(std::string(reinterpret_cast<const char*>(m_data.data() + at), len));
    }
    case kBlob: {
        const auto len = static_cast<std::size_t>(getVarint(at));
        Blob b;
        b.bytes.assign(m_data.begin() + static_cast<std::ptrdiff_t>(at),
                       m_data.begin() + static_cast<std::ptrdiff_t>(at + len));
        return Value(std::move(b));
    }
    default:
        return Value();
    }
}

std::optional<std::int64_t> PackedRows::integer(long long row, int column, int columns) const {
    if (column < 0 || column >= columns)
        return std::nullopt;
    std::size_t at = m_offsets[static_cast<std::size_t>(row)];
    for (int c = 0; c < column; ++c)
        skip(at);
    if (m_data[at++] != kInteger)
        return std::nullopt;
    const std::uint64_t z = getVarint(at);
    return static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1));
}

void PackedRows::putVarint(std::uint64_t v) {
    while (v >= 0x80) {
        m_data.push_back(static_cast<unsigned char>(v | 0x80));
        v >>= 7;
    }
    m_data.push_back(static_cast<unsigned char>(v));
}

std::uint64_t PackedRows::getVarint(std::size_t& at) const {
    std::uint64_t v = 0;
    int shift = 0;
    while (true) {
        const unsigned char b = m_data[at++];
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return v;
        shift += 7;
    }
}

void PackedRows::skip(std::size_t& at) const {
    switch (m_data[at++]) {
    case kInteger:
        getVarint(at);
        break;
    case kReal:
        at += sizeof(double);
        break;
    case kText:
    case kBlob:
        at += static_cast<std::size_t>(getVarint(at));
        break;
    default:
        break;
    }
}

} // namespace db::pg
