#pragma once
// The rows a record set reads from an SQLite file: a snapshot taken when it opens (static cursors), and a
// window onto a table read a block at a time (the other cursors, and snapshots of work tables).
#include "db/record_source.h"
#include "db/sqlite/sqlite_api.h"
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace db::sqlite {

class Engine;

// Every row the statement gives, read now. Throws db::Error naming `table` when a step fails.
std::shared_ptr<RecordSource> makeSnapshotSource(Engine& engine, std::vector<Field> columns, sqlite3_stmt* stmt,
                                                 const std::string& table);

// What a window onto a table reads: the columns of the rows that meet the condition, in rowid order.
struct TableWindow {
    std::vector<Field> columns;          // as the record set shows them
    std::vector<std::string> columnSql;  // each column as SQL, its name quoted
    std::string table;                   // the table's name, for messages
    std::string from;                    // the table as SQL, quoted (with its database for a work table)
    std::string rowid;                   // SQL that reaches the rowid
    std::string condition;               // "column = ?1", or empty for every row
    std::optional<Value> conditionValue; // bound to ?1
    bool snapshot = false;               // counts at once, and copies its rows before the table changes
    std::optional<long long> rowCount;   // the count, when already known
};

std::shared_ptr<RecordSource> makeLazySource(std::shared_ptr<Engine> engine, TableWindow window);

} // namespace db::sqlite
