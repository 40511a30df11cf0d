#pragma once
// The command line's options: what the user asked for, read from the arguments as typed.
#include "dedupe/engine_inputs.h"
#include <string>
#include <vector>

namespace cli {

struct Options {
    std::string database;
    std::string table;
    std::vector<std::string> fields;
    std::string output;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool dryRun = false;
    bool json = false;
    bool replace = false;
    bool keepLast = false;
    dedupe::KeyRules rules; // --ignore-case, --trim and the looser keys
    bool emptyKeysDistinct = false;
    std::string removedInto;
    std::string groupsInto;
    std::vector<dedupe::OrderKey> orderBy;
    std::string sqliteCopy;
    // Only the copy of an Access file is wanted: no table to de-duplicate.
    bool copyOnly() const { return !sqliteCopy.empty() && table.empty() && fields.empty() && output.empty(); }
};

// A command line that cannot be used; the message says why.
struct UsageError {
    std::string message;
};

// Reads the arguments that follow the program's name. Throws UsageError for a command line that cannot be
// used: an unknown option, a missing or unwanted value, a password given as an argument, a required
// option left out.
Options parseOptions(const std::vector<std::string>& arguments);

} // namespace cli
