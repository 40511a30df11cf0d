#pragma once
// The reading side of a copy: what runs in the process that opens the Access file through libmdb.
#include "access/reader.h"
#include "access/sqlite_copy.h"
#include <string>

namespace accessdb {

// The program's own table in a copy (its prefix keeps it out of the table list): what it was made from.
inline constexpr const char* kSourceTable = "rowsifter_internal_source";

// Reads every user table of the Access file and writes them into the database file at `target` (an
// empty file this copy owns): the whole copy, or db::Error naming the file and the table concerned.
// The file is left in place either way; whoever made it removes it unless the copy is complete.
CopyResult writeAccessCopy(const std::string& accessPath, const std::string& target, const std::string& password,
                           const CopyProgressCallback& progress = {});

// A value as the copy stores it into a column of that type: a Single as the shortest decimal that reads
// back as the same float, Currency and Decimal text as an exact integer when whole, else the nearest real.
db::Value storedValue(ColumnType type, const db::Value& value);

} // namespace accessdb
