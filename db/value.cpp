#include "db/value.h"
#include "db/error.h"
#include <charconv>
#include <cmath>

namespace db {

namespace {
[[noreturn]] void mismatch(const char* wanted) {
    throw Error(err::TypeMismatch, std::string("Type mismatch: the value is not ") + wanted + ".");
}

// Numbers as people write them: a whole real below 1e15 as the integer it is; any other with 15
// significant digits and no trailing zeros, so 0.1 + 0.2 reads "0.3", and an exponent only for very large
// or very small magnitudes ("1E+15", "1E-05").
std::string realText(double d) {
    if (std::isnan(d))
        return "NaN";
    if (std::isinf(d))
        return d < 0 ? "-Inf" : "Inf";
    if (std::fabs(d) < 1e15 && std::trunc(d) == d)
        return std::to_string(static_cast<std::int64_t>(d)); // -0.0 gives "0"
    // to_chars, unlike printf, ignores the locale: a German desktop must not turn the point into a comma.
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
    std::string text(buf, res.ptr);
    for (char& c : text)
        if (c == 'e')
            c = 'E';
    return text;
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
    if (isReal())
        return realText(std::get<double>(m_v));
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
