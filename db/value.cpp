#include "db/value.h"
#include "db/error.h"
#include <charconv>
#include <system_error>

namespace db {

namespace {
[[noreturn]] void mismatch(const char* wanted) {
    throw Error(err::TypeMismatch, std::string("Type mismatch: the value is not ") + wanted + ".");
}
} // namespace

std::int64_t Value::asInteger() const {
    if (!isInteger())
        mismatch("an integer");
    return std::get<std::int64_t>(m_v);
}

double Value::asReal() const {
    if (!isReal())
        mismatch("a real number");
    return std::get<double>(m_v);
}

const std::string& Value::asText() const {
    if (!isText())
        mismatch("text");
    return std::get<std::string>(m_v);
}

const Blob& Value::asBlob() const {
    if (!isBlob())
        mismatch("binary data");
    return std::get<Blob>(m_v);
}

std::string Value::toText() const {
    if (isNull())
        return {};
    if (isText())
        return std::get<std::string>(m_v);
    if (isInteger())
        return std::to_string(std::get<std::int64_t>(m_v));
    if (isReal()) {
        // Shortest form that reads back to the same double, so equal values give equal keys.
        char buf[64];
        auto res = std::to_chars(buf, buf + sizeof buf, std::get<double>(m_v));
        return std::string(buf, res.ptr);
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    const auto& bytes = std::get<Blob>(m_v).bytes;
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0F]);
    }
    return out;
}

} // namespace db
