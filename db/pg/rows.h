#pragma once
// Server rows in client memory: values made from the server's text as the key rule and the grids need
// them, packed one after another so a million-row scan costs tens of bytes a row.
#include "db/pg/session.h"
#include "db/value.h"
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace db::pg {

// int2, int4, int8 or oid: values the layer holds as whole numbers.
bool integerOid(unsigned typeOid);

// The data-type code of a column of the server's type (by type oid).
int typeCode(unsigned typeOid);

// The value of one cell given as the server's text: integers and floats as numbers, bytea as a blob,
// everything else as the text the server wrote under the session's fixed settings.
Value valueFromText(unsigned typeOid, std::string_view text);

class PackedRows {
public:
    void append(const Row& row, const std::vector<unsigned>& typeOids);
    void finish();
    long long rows() const { return static_cast<long long>(m_offsets.size()); }
    Value value(long long row, int column, int columns) const;
    // The cell when it holds a whole number, without making a value of it.
    std::optional<std::int64_t> integer(long long row, int column, int columns) const;
    void clear();

private:
    enum : unsigned char { kNull, kInteger, kReal, kText, kBlob };
    void putVarint(std::uint64_t v);
    std::uint64_t getVarint(std::size_t& at) const;
    void skip(std::size_t& at) const;

    std::vector<unsigned char> m_data;
    std::vector<std::size_t> m_offsets;
};

} // namespace db::pg
