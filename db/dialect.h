#pragma once
// The small SQL dialect the program sends, parsed into a tree; the engine turns the tree into SQLite
// statements with every name quoted, so no text from a name or a literal ever reaches SQLite as SQL.
#include "db/value.h"
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace db::dialect {

struct Condition {
    std::string column;
    Value value;
};

struct OrderBy {
    std::string column;
    bool descending = false;
    bool nullsLast = false; // Nulls after every value, in either direction
};

// SELECT cols [INTO t2] FROM t [WHERE col = literal] [ORDER BY col [ASC|DESC] [NULLS LAST], ...]
// Rows equal in every ORDER BY column keep their stored order.
struct Select {
    std::vector<std::string> columns; // empty: *
    std::optional<std::string> into;
    std::string table;
    std::optional<Condition> where;
    std::vector<OrderBy> orderBy; // empty: the stored order
};

// ALTER TABLE t ADD [COLUMN] c LONG IDENTITY(1,1)
struct AddIdentity {
    std::string table;
    std::string column;
};

// DELETE [*] FROM t WHERE col = literal
struct Delete {
    std::string table;
    Condition where;
};

// DROP TABLE t
struct DropTable {
    std::string table;
};

// ALTER TABLE t ADD [COLUMN] c LONG: a plain integer column, Null in every row
struct AddColumn {
    std::string table;
    std::string column;
};

// UPDATE t SET c = literal [, c = literal ...] WHERE col = literal
struct Update {
    std::string table;
    std::vector<Condition> set;
    Condition where;
};

using Statement = std::variant<Select, AddIdentity, Delete, DropTable, AddColumn, Update>;

// Exactly one statement, optionally followed by ';'. Throws db::Error (err::SyntaxError) otherwise.
Statement parse(std::string_view sql);

// parse, for texts that repeat with only the whole number at their end changing (a DELETE of one row after
// another): the tree of the last such DELETE is kept, and a text that differs from it only in that number
// takes the tree with the new number instead of being parsed again.
class ParseCache {
public:
    const Statement& parse(std::string_view sql);

private:
    std::string m_prefix; // the text before the number; empty when nothing is kept
    Statement m_last;
};

} // namespace db::dialect
