#pragma once
// Names of a database's ordinary tables.
#include "db/reserved_names.h"
#include <optional>
#include <string>
#include <vector>

namespace db {

// Names of the rows of type "TABLE" in schema order; std::nullopt when no file exists at `path`.
// The connection is opened with `connectionString` (built from the page's current path and password),
// `path` only decides whether the file exists. Throws db::Error when the file cannot be opened or read.
std::optional<std::vector<std::string>> GetAccessTableNames(const std::string& path,
                                                            const std::string& connectionString);

// The module of the virtual table `name` (compared as the database compares names); std::nullopt when no
// virtual table has that name. Throws db::Error when the file cannot be opened or read.
std::optional<std::string> VirtualTableModule(const std::string& connectionString, const std::string& name);

// True when the last-modification time of `path` can be read. Never throws.
bool FileExists(const std::string& path);

} // namespace db
