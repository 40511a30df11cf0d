#pragma once
// Server rows in client memory: cells made from the server's text as the key rule and the grids need
// them, in the layer's packed cell format (db/packed_cells.h).
#include "db/packed_cells.h"
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

// A row's place in its table, ctid's "(block,offset)", as one whole number that sorts as the places do:
// block * 65536 + offset. Nullopt for text of another shape.
std::optional<std::int64_t> placeNumber(std::string_view ctidText);

class PackedRows : public PackedCells {
public:
    // One row, each cell as valueFromText makes it (without making the value).
    void append(const Row& row, const std::vector<unsigned>& typeOids);
};

} // namespace db::pg
