#pragma once
// PackedRows: rows read from SQLite, packed one after another in one buffer (db/packed_cells.h).
#include "db/packed_cells.h"
#include "db/sqlite/sqlite_api.h"
#include <cstddef>

namespace db::sqlite {

// Rows read from SQLite in the layer's packed cell format: each cell as SQLite typed it.
class PackedRows : public PackedCells {
public:
    void append(const Api& api, sqlite3_stmt* stmt, int columns) {
        beginRow();
        for (int c = 0; c < columns; ++c) {
            switch (api.columnType(stmt, c)) {
            case SQLITE_INTEGER:
                appendInteger(api.columnInt64(stmt, c));
                break;
            case SQLITE_FLOAT:
                appendReal(api.columnDouble(stmt, c));
                break;
            case SQLITE_TEXT: {
                // The pointer first, then its length, as SQLite asks.
                const auto* p = api.columnText(stmt, c);
                appendText(p, static_cast<std::size_t>(api.columnBytes(stmt, c)));
                break;
            }
            case SQLITE_BLOB: {
                const void* p = api.columnBlob(stmt, c);
                appendBlob(p, static_cast<std::size_t>(api.columnBytes(stmt, c)));
                break;
            }
            default:
                appendNull();
            }
        }
    }
};

} // namespace db::sqlite
