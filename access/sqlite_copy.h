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

// How the process that reads the Access file is held in check. libmdb is not safe on a damaged file: it
// can loop without end, grow without end, crash, or print into standard output. The file is therefore read
// by a process of its own, which is stopped when it shows no progress (no new table, no new rows) for
// `deadlineSeconds`, may use no more than `memoryBytes` of address space, and whose output is kept away
// from the program's own.
struct CopyLimits {
    double deadlineSeconds = 20;
    long long memoryBytes = 2LL << 30;
    // The defaults, unless the environment sets ROWSIFTER_ACCESS_DEADLINE (seconds) or
    // ROWSIFTER_ACCESS_MEMORY_MB.
    static CopyLimits fromEnvironment();
};

struct CopyOptions {
    CopyLimits limits = CopyLimits::fromEnvironment();
    // Called about ten times a second while the Access file is being read, whatever its progress (a
    // window repaints here); returning false cancels the copy.
    std::function<bool()> waiting;
};

// Writes a new SQLite database at `sqlitePath` holding every user table of the Access file: the same
// column names and order, declared types that the database layer maps back to the Access types, the rows
// in stored order (rowid order), and the primary key. A copy is whole or refused: a list of tables that
// cannot be read whole, a table without a name or listed twice, a definition or data page that cannot be
// read, or a table holding more or fewer rows than it records refuses the copy with a message naming the
// file (and the table). The file appears only when complete: it is built under a hidden temporary name in
// the same folder and moved into place without ever replacing a file, so an existing `sqlitePath` is
// refused and a failure, a cancel or a kill leaves no database at that path; what a killed copy left in
// that folder goes with the next copy into it.
// A password-protected Access file needs its password and gives an encrypted copy with the same password;
// for an unprotected file the password is ignored. The Access file is only ever read.
// Throws db::Error naming the file (and table) concerned.
CopyResult copyAccessToSqlite(const std::string& accessPath, const std::string& sqlitePath,
                              const CopyProgressCallback& progress = {}, const std::string& password = {},
                              const CopyOptions& options = {});

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

} // namespace accessdb
