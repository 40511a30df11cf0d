#pragma once
// Copying every user table of an Access file into a new SQLite database beside it.
#include "access/reader.h"
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace accessdb {

struct CopyProgress {
    const std::string& table;
    int tableIndex; // 0-based
    int tableCount;
    long long rowsDone;  // of this table
    long long tableRows; // as the table definition records it, for a progress bar
};

// Told about each table as it starts and after each batch of rows; returning false cancels the copy.
using CopyProgressCallback = std::function<bool(const CopyProgress&)>;

struct CopiedTable {
    std::string name;
    long long rows = 0;
};

struct CopyResult {
    bool cancelled = false; // then nothing was written
    std::vector<CopiedTable> tables;
};

// Writes a new SQLite database at `sqlitePath` holding every user table of the Access file: the same
// column names and order, declared types that the database layer maps back to the Access types, the rows
// in stored order (rowid order), and the primary key. The file appears only when complete: it is built
// under a temporary name in the same folder and moved into place without ever replacing a file, so an
// existing `sqlitePath` is refused and a failure, a cancel or a kill leaves no database at that path.
// A password-protected Access file needs its password and gives an encrypted copy with the same password;
// for an unprotected file the password is ignored. The Access file is only ever read.
// Throws db::Error naming the file (and table) concerned.
CopyResult copyAccessToSqlite(const std::string& accessPath, const std::string& sqlitePath,
                              const CopyProgressCallback& progress = {}, const std::string& password = {});

// Which Access file a copy was made from, as it was then. The copy keeps this in a table of the program's
// own (never listed), so a later visit can offer the copy again instead of making another.
struct CopySource {
    std::string path; // absolute
    long long bytes = 0;
    long long modified = 0; // nanoseconds since the epoch
};
// The Access file's state now; throws db::Error when it cannot be read.
CopySource currentSource(const std::string& accessPath);
// What the copy at `sqlitePath` says it was made from; nothing when it is no copy this program made, or
// it cannot be read (with `password` for an encrypted copy).
std::optional<CopySource> copySource(const std::string& sqlitePath, const std::string& password = {});

// Where a copy of `accessPath` goes in `folder`: its name with ".sqlite" ("nwind.sqlite"), and when that
// exists "nwind (2).sqlite", "nwind (3).sqlite", ...
std::string newCopyPath(const std::string& accessPath, const std::string& folder);
// An existing copy in `folder`, under one of those names, made from the Access file as it is now.
std::optional<std::string> findCopy(const std::string& accessPath, const std::string& folder,
                                    const std::string& password = {});

// The declared SQLite type of a column. `soleKey`: the column alone forms the primary key.
std::string declaredType(const Column& column, bool soleKey);

// CREATE TABLE text for a table (names quoted by db::quoteIdentifier).
std::string createTableSql(const Table& table);

// A value as the SQL literal the copy writes into a column of that type.
std::string sqlLiteral(ColumnType type, const db::Value& value);

} // namespace accessdb
