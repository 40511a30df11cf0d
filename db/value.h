#pragma once
// A database value: Null or one of SQLite's storage classes.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace db {

struct Blob {
    std::vector<unsigned char> bytes;
    bool operator==(const Blob&) const = default;
};

class Value {
public:
    Value() = default; // Null
    Value(std::int64_t v) : m_v(v) {}
    Value(int v) : m_v(static_cast<std::int64_t>(v)) {}
    Value(double v) : m_v(v) {}
    Value(std::string v) : m_v(std::move(v)) {}
    Value(const char* v) : m_v(std::string(v)) {}
    Value(Blob v) : m_v(std::move(v)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(m_v); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(m_v); }
    bool isReal() const { return std::holds_alternative<double>(m_v); }
    bool isText() const { return std::holds_alternative<std::string>(m_v); }
    bool isBlob() const { return std::holds_alternative<Blob>(m_v); }

    // Accessors throw db::Error when the value holds another kind.
    std::int64_t asInteger() const;
    double asReal() const;
    const std::string& asText() const;
    const Blob& asBlob() const;

    // Display text, the same in the grids and the duplicate keys: Null gives "", integers all their
    // digits, a whole real below 1e15 as an integer (100000.0 -> "100000", -0.0 -> "0"), any other real
    // with 15 significant digits and no trailing zeros (0.1 + 0.2 -> "0.3"; "1E+20" for very large or
    // small ones), blobs as hexadecimal.
    std::string toText() const;

    bool operator==(const Value&) const = default;

private:
    std::variant<std::monostate, std::int64_t, double, std::string, Blob> m_v;
};

// Null replaced by a default; anything else unchanged.
inline Value ValueOrDefault(const Value& value, const Value& defaultValue) {
    return value.isNull() ? defaultValue : value;
}

} // namespace db
