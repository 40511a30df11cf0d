#pragma once
// How a run's work table on a server reads rows numbered by place, and what it sends instead of the list
// of its deleted rows.
#include "db/pg/session.h"
#include <cstdint>
#include <string>
#include <vector>

namespace db::pg {

// A row whose ctid cell reads as the place's number (placeNumber(): block * 65536 + offset), a bigint.
class PlaceAsNumber final : public Row {
public:
    static constexpr unsigned kTypeOid = 20; // int8

    explicit PlaceAsNumber(int column) : m_column(column) {}
    // The row seen through this one, until the next call; throws when the cell is no place.
    const Row& of(const Row& row);
    int columns() const override { return m_row->columns(); }
    bool isNull(int column) const override { return column != m_column && m_row->isNull(column); }
    std::string_view text(int column) const override {
        return column == m_column ? std::string_view(m_digits, m_length) : m_row->text(column);
    }

private:
    int m_column;
    const Row* m_row = nullptr;
    char m_digits[24] = {};
    std::size_t m_length = 0;
};

// The deleted rows as one parameter: a bitmap (bytea, bit i for the row of bit first + i, as get_bit
// numbers them; the first and last bits clear) when their bits lie close enough together that it is no
// larger than a list of them would be, else the list as an array of the values.
struct DeletedSet {
    bool bitmap = false;
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::string text;
};

// A row's bit is its value, or for place numbers (placesPerBlock > 0) block * placesPerBlock - offset, so
// that the rows of a table lie close together (offsets run from 1 to less than placesPerBlock).
DeletedSet deletedSet(const std::vector<std::int64_t>& deleted, long long placesPerBlock);

} // namespace db::pg
