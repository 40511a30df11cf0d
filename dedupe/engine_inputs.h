#pragma once
// What the engine is given: the connection string and the texts the pages collect, built by one set of
// joiners for the wizard, the command line and the tests alike.
#include "dedupe/key_rules.h"
#include <string>
#include <string_view>
#include <vector>

namespace dedupe {

// One field of the order that decides which row of a group survives.
struct OrderKey {
    std::string field;
    bool descending = false;
};

// What only the command line asks for; the defaults are the wizard's behaviour.
struct RunOptions {
    KeyRules rules;          // how loosely the chosen fields are compared
    bool keepLast = false;   // of each group the row with the highest identifier survives
    std::string removedInto; // also write the removed rows into this new table (empty: not kept)
    bool emptyKeysDistinct = false; // a row whose chosen fields are all empty never repeats another
    std::string groupsInto;         // also write every row of a group of two or more into this new table
    // Of each group the first row in this order survives (Nulls last, then by identifier); --keep last
    // turns every direction round, Nulls still last. Empty: identifier order.
    std::vector<OrderKey> orderBy;
};

struct EngineInputs {
    // db::BuildConnectionString of the database page's current path and password.
    std::string connectionString;
    // The chosen table's name as listed.
    std::string TableName;
    // Every field of the chosen table in column order, each through db::quoteBracket, joined by ", ".
    std::string TableFieldList;
    // The chosen fields in chosen order, each through db::quoteBackquote, joined by ", ".
    std::string ChosenFieldList;
    RunOptions options;
};

// Appends `name` to a ", "-separated list, quoted so that a "]" or "`" inside it cannot end the quoting.
void appendBracketed(std::string& list, std::string_view name);
void appendBackquoted(std::string& list, std::string_view name);

// The ORDER BY columns that come before the identifier in a scan under `options`, each followed by ", "
// (empty without an order): Nulls last, every direction turned round for --keep last.
std::string survivorOrder(const RunOptions& options);

EngineInputs makeEngineInputs(std::string connectionString, std::string table,
                              const std::vector<std::string>& tableFields, const std::vector<std::string>& chosenFields);

} // namespace dedupe
