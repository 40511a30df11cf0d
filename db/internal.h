#pragma once
// Entry points outside the dialect, straight to the SQLite back-end: for the sample-database maker, the
// tests, and the Access copy, which makes its new file and fills it with plain SQLite text. Everything
// else the program does goes through Connection and Recordset.
#include "db/connection.h"
#include <memory>
#include <string>

namespace db::internal {

// Creates a new database file (encrypted when password is not empty) and runs a script of plain
// SQLite statements in it. Throws db::Error.
void createDatabase(const std::string& path, const std::string& password, const std::string& script);

// Runs plain SQLite statements in an existing database file.
void executeScript(const std::string& path, const std::string& password, const std::string& script);

// The query plan of the SQLite delete that a dialect DELETE sent on `connection` turns into.
std::string deletePlan(const Connection& connection, const std::string& sql);

// Holds an exclusive lock on a database file, as another program writing to it would, until released.
std::shared_ptr<void> holdExclusiveLock(const std::string& path, const std::string& password);

// The version of the SQLite library an open connection reads its file with ("3.40.1").
std::string sqliteVersionOf(const Connection& connection);

// Behaves as if the system's SQLite library could not be loaded: plain files then open with SQLCipher.
// Only connections opened afterwards are affected.
void pretendSystemSqliteMissing(bool missing);

} // namespace db::internal
