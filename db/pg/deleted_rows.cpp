#include "db/pg/deleted_rows.h"
#include "db/error.h"
#include "db/pg/rows.h"
#include <algorithm>
#include <charconv>

namespace db::pg {

const Row& PlaceAsNumber::of(const Row& row) {
    m_row = &row;
    const std::optional<std::int64_t> n = row.isNull(m_column) ? std::nullopt : placeNumber(row.text(m_column));
    if (!n)
        throw Error(err::EngineError, "A row's place came back malformed: '" + std::string(row.text(m_column)) + "'.");
    m_length = static_cast<std::size_t>(std::to_chars(m_digits, m_digits + sizeof m_digits, *n).ptr - m_digits);
    return *this;
}

DeletedSet deletedSet(const std::vector<std::int64_t>& deleted, long long placesPerBlock) {
    DeletedSet set;
    if (deleted.empty()) {
        set.text = "{}";
        return set;
    }
    std::vector<std::int64_t> bits;
    bits.reserve(deleted.size());
    for (std::int64_t v : deleted)
        bits.push_back(placesPerBlock > 0 ? (v >> 16) * placesPerBlock - (v & 65535) : v);
    const auto [low, high] = std::minmax_element(bits.begin(), bits.end());
    // An array costs about 8 characters a row, a bitmap a quarter character a bit (two hex digits a byte).
    // Far from zero the server's "bit - first" could overflow for another row: the array then.
    constexpr std::int64_t kFar = std::int64_t{1} << 62;
    const bool near = *low > -kFar && *high < kFar;
    const std::int64_t span = near ? *high - *low + 2 : 0;
    set.bitmap = near && span / 4 <= 8 * static_cast<std::int64_t>(bits.size()) + 65536;
    if (set.bitmap) {
        set.first = *low - 1;
        set.last = *high + 1;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(span / 8 + 1));
        for (std::int64_t b : bits) {
            const auto i = static_cast<std::uint64_t>(b - set.first);
            bytes[i / 8] = static_cast<unsigned char>(bytes[i / 8] | (1u << (i % 8)));
        }
        static const char* const kHex = "0123456789abcdef";
        set.text.reserve(2 + bytes.size() * 2);
        set.text = "\\x";
        for (unsigned char b : bytes) {
            set.text += kHex[b >> 4];
            set.text += kHex[b & 15];
        }
        return set;
    }
    set.text = "{";
    for (std::size_t i = 0; i < deleted.size(); ++i) {
        if (i)
            set.text += ',';
        set.text += std::to_string(deleted[i]);
    }
    set.text += '}';
    return set;
}

} // namespace db::pg
