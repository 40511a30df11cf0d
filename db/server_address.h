#pragma once
// What the front ends need to know of server addresses without reaching into a back-end: how to show one,
// and how Ctrl-C stops a statement the server is running.
#include <cstddef>
#include <string>

namespace db {

// The data source as it may be printed: a server address with any password in it masked, a path as it is.
std::string shownDataSource(const std::string& dataSource);

// Throws db::Error when a server address cannot be used as it stands (a password in it, unreadable); files
// pass.
void checkServerAddress(const std::string& dataSource);

// Longest table name a server keeps (longer ones it would cut short): 63 bytes; 0 for files (no limit).
std::size_t longestTableName(const std::string& dataSource);

// Cancels the statement a server is running for this process and makes the rest of the run fail at once
// ("cancelled"). Safe to call from a signal handler.
void cancelServerStatements() noexcept;

} // namespace db
