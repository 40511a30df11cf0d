#pragma once
// The one place that includes the SQLite header, with owners for its handles.
//
// Two SQLite libraries serve the layer: the linked SQLCipher for encrypted files, and the system's newer
// SQLite, loaded at run time, for plain files (SQLCipher's own SQLite is too old for files that use newer
// schema features). Both are reached through one table of entry points, chosen per open file, so every
// handle is used and released by the library that made it.
#ifndef SQLITE_HAS_CODEC
#define SQLITE_HAS_CODEC 1 // SQLCipher's header declares sqlite3_key only with this set
#endif
#include "db/value.h"
#include <memory>
#include <sqlite3.h>
#include <string>

namespace db::sqlite {

// The entry points the layer uses: the member's name and the SQLite function it stands for.
#define ROWSIFTER_SQLITE_ENTRY_POINTS(X)                                                                               \
    X(openV2, sqlite3_open_v2)                                                                                         \
    X(closeV2, sqlite3_close_v2)                                                                                       \
    X(errmsg, sqlite3_errmsg)                                                                                          \
    X(errstr, sqlite3_errstr)                                                                                          \
    X(busyTimeout, sqlite3_busy_timeout)                                                                               \
    X(prepareV2, sqlite3_prepare_v2)                                                                                   \
    X(step, sqlite3_step)                                                                                              \
    X(reset, sqlite3_reset)                                                                                            \
    X(clearBindings, sqlite3_clear_bindings)                                                                           \
    X(finalize, sqlite3_finalize)                                                                                      \
    X(sql, sqlite3_sql)                                                                                                \
    X(columnCount, sqlite3_column_count)                                                                               \
    X(columnType, sqlite3_column_type)                                                                                 \
    X(columnInt, sqlite3_column_int)                                                                                   \
    X(columnInt64, sqlite3_column_int64)                                                                               \
    X(columnDouble, sqlite3_column_double)                                                                             \
    X(columnText, sqlite3_column_text)                                                                                 \
    X(columnBlob, sqlite3_column_blob)                                                                                 \
    X(columnBytes, sqlite3_column_bytes)                                                                               \
    X(bindNull, sqlite3_bind_null)                                                                                     \
    X(bindInt64, sqlite3_bind_int64)                                                                                   \
    X(bindDouble, sqlite3_bind_double)                                                                                 \
    X(bindText64, sqlite3_bind_text64)                                                                                 \
    X(bindBlob64, sqlite3_bind_blob64)                                                                                 \
    X(exec, sqlite3_exec)                                                                                              \
    X(free, sqlite3_free)                                                                                              \
    X(getAutocommit, sqlite3_get_autocommit)                                                                           \
    X(dbReadonly, sqlite3_db_readonly)                                                                                 \
    X(libversion, sqlite3_libversion)                                                                                  \
    X(libversionNumber, sqlite3_libversion_number)                                                                     \
    X(vfsFind, sqlite3_vfs_find)                                                                                       \
    X(vfsRegister, sqlite3_vfs_register)                                                                               \
    X(vfsUnregister, sqlite3_vfs_unregister)                                                                           \
    X(createFunctionV2, sqlite3_create_function_v2)                                                                    \
    X(userData, sqlite3_user_data)                                                                                     \
    X(valueInt64, sqlite3_value_int64)                                                                                 \
    X(valueType, sqlite3_value_type)                                                                                   \
    X(resultInt, sqlite3_result_int)                                                                                   \
    X(tableColumnMetadata, sqlite3_table_column_metadata)                                                              \
    X(totalChanges, sqlite3_total_changes)                                                                             \
    X(fileControl, sqlite3_file_control)

struct Api {
#define ROWSIFTER_SQLITE_MEMBER(member, function) decltype(&::function) member = nullptr;
    ROWSIFTER_SQLITE_ENTRY_POINTS(ROWSIFTER_SQLITE_MEMBER)
#undef ROWSIFTER_SQLITE_MEMBER
    decltype(&::sqlite3_key) key = nullptr; // SQLCipher only

    bool encrypts() const {
        return key != nullptr;
    }
};

// The linked SQLCipher.
const Api& cipherLibrary();
// The system's SQLite, loaded on first use; null when it cannot be loaded (or a test pretends so).
const Api* systemLibrary();
// The same whatever a test pretends: test VFSes are registered in every library the process holds.
const Api* loadedSystemLibrary();
// Why the system's SQLite could not be loaded (empty when it was).
std::string systemLibraryError();
// The library that opens plain files: the system's, or SQLCipher without it.
const Api& plainFileLibrary();
// The name the system's SQLite is loaded by, and its Debian package, for messages.
inline constexpr const char* kSystemLibraryName = "libsqlite3.so.0";
inline constexpr const char* kSystemLibraryPackage = "libsqlite3-0";

// Tests: behave as if the system's SQLite could not be loaded.
void pretendSystemLibraryMissing(bool missing);

struct CloseDatabase {
    const Api* api = nullptr;
    void operator()(sqlite3* db) const { api->closeV2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, CloseDatabase>;

struct FinalizeStatement {
    const Api* api = nullptr;
    void operator()(sqlite3_stmt* stmt) const { api->finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Resets a statement and its bindings when the scope ends, so that no read stays open between calls
// (an open read would block DROP TABLE on the same connection and hold a lock against other processes).
class ResetOnExit {
public:
    ResetOnExit(const Api& api, sqlite3_stmt* stmt) : m_api(api), m_stmt(stmt) {}
    ~ResetOnExit() {
        m_api.reset(m_stmt);
        m_api.clearBindings(m_stmt);
    }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

private:
    const Api& m_api;
    sqlite3_stmt* m_stmt;
};

inline std::string columnString(const Api& api, sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(api.columnText(stmt, column));
    return text ? std::string(text, static_cast<std::size_t>(api.columnBytes(stmt, column))) : std::string();
}

inline Value columnValue(const Api& api, sqlite3_stmt* stmt, int column) {
    switch (api.columnType(stmt, column)) {
    case SQLITE_INTEGER:
        return Value(static_cast<std::int64_t>(api.columnInt64(stmt, column)));
    case SQLITE_FLOAT:
        return Value(api.columnDouble(stmt, column));
    case SQLITE_TEXT:
        return Value(columnString(api, stmt, column));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const unsigned char*>(api.columnBlob(stmt, column));
        Blob b;
        b.bytes.assign(data, data + api.columnBytes(stmt, column));
        return Value(std::move(b));
    }
    default:
        return Value();
    }
}

inline int bindValue(const Api& api, sqlite3_stmt* stmt, int index, const Value& v) {
    if (v.isNull())
        return api.bindNull(stmt, index);
    if (v.isInteger())
        return api.bindInt64(stmt, index, v.asInteger());
    if (v.isReal())
        return api.bindDouble(stmt, index, v.asReal());
    if (v.isText())
        return api.bindText64(stmt, index, v.asText().data(), v.asText().size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    const auto& bytes = v.asBlob().bytes;
    return api.bindBlob64(stmt, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

} // namespace db::sqlite
