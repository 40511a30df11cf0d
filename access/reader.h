#pragma once
// Reading a real Access file (read-only, through libmdb): its user tables, their columns, their rows.
#include "access/header.h"
#include "db/value.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace accessdb {

enum class ColumnType {
    Boolean,     // Yes/No: 0 or 1
    Byte,        // integer
    Integer,     // integer (16 bits)
    LongInteger, // integer (32 bits), also AutoNumber
    Currency,    // exact decimal text: the stored 64-bit integer scaled by 10^4 ("14.4", "-0.0001")
    Single,      // real (the float widened exactly)
    Double,      // real
    DateTime,    // "YYYY-MM-DD HH:MM:SS"; a stored value outside the years 100..9999 stays a real
    Binary,      // blob
    Text,        // text
    OleObject,   // blob
    Memo,        // text
    Guid,        // text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    Numeric,     // exact decimal text, as libmdb spells it
    Complex,     // integer: the id of an attachment or multi-valued field, whose values live elsewhere
};

struct Column {
    std::string name;
    ColumnType type = ColumnType::Text;
    int size = 0;      // Text: characters; Binary: bytes; fixed types: bytes stored; Memo and OLE: 0
    int precision = 0; // Numeric only
    int scale = 0;     // Numeric only
    bool autoNumber = false;
};

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<std::string> primaryKey; // column names in key order; empty when the table has none
    long long rowCount = 0;              // as the table definition records it
};

using Row = std::vector<db::Value>; // one value per column, in column order; Null where none is stored

class Reader {
public:
    // Opens `path` read-only. The password is checked against the file before anything else is read
    // (see requirePassword). Throws db::Error naming the file when it cannot be opened.
    explicit Reader(const std::string& path, const std::string& password = {});
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    const std::string& path() const;
    FileFormat format() const;
    bool passwordProtected() const;

    // The user tables in catalogue order: no system tables, no linked tables, no queries.
    const std::vector<std::string>& tableNames() const;
    // Throws db::Error (NoSuchTable) for a name that is not a user table, EngineError when unreadable.
    Table table(const std::string& name) const;
    // Calls `onRow` for each row in stored order until it returns false; returns how many rows it was given.
    // Throws db::Error naming the table when a row or value cannot be read, or when fewer rows can be read
    // than the table records (a damaged file).
    long long readRows(const std::string& name, const std::function<bool(const Row&)>& onRow) const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace accessdb
