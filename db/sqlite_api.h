#pragma once
// The one place that includes the SQLite (SQLCipher) header, with owners for its handles.
#include "db/value.h"
#include <memory>
#include <sqlite3.h>
#include <string>

namespace db::sqlite {

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, CloseDatabase>;

struct FinalizeStatement {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Resets a statement and its bindings when the scope ends, so that no read stays open between calls
// (an open read would block DROP TABLE on the same connection and hold a lock against other processes).
class ResetOnExit {
public:
    explicit ResetOnExit(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~ResetOnExit() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

private:
    sqlite3_stmt* m_stmt;
};

inline Value columnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return Value(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        return Value(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))));
    }
    case SQLITE_BLOB: {
        const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, column));
        Blob b;
        b.bytes.assign(data, data + sqlite3_column_bytes(stmt, column));
        return Value(std::move(b));
    }
    default:
        return Value();
    }
}

inline int bindValue(sqlite3_stmt* stmt, int index, const Value& v) {
    if (v.isNull())
        return sqlite3_bind_null(stmt, index);
    if (v.isInteger())
        return sqlite3_bind_int64(stmt, index, v.asInteger());
    if (v.isReal())
        return sqlite3_bind_double(stmt, index, v.asReal());
    if (v.isText())
        return sqlite3_bind_text64(stmt, index, v.asText().data(), v.asText().size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    const auto& bytes = v.asBlob().bytes;
    return sqlite3_bind_blob64(stmt, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

} // namespace db::sqlite
