#include "dedupe/cli_messages.h"

#include "core/version.h"

namespace dedupe::cli_text {

std::string version() {
    return std::string("rowsifter-cli ") + core::kVersion;
}

std::string needsValue(const std::string& option) {
    return "option " + option + " needs a value";
}

std::string takesNoValue(const std::string& option) {
    return "option " + option + " takes no value";
}

std::string unknownArgument(const std::string& argument) {
    return "unknown argument '" + argument + "'";
}

std::string unknownOption(const std::string& option) {
    return "unknown option '" + option + "'";
}

std::string required(const std::string& what) {
    return what + " is required";
}

std::string passwordPrompt(const std::string& database) {
    return "Password for " + database + " (empty for none): ";
}

std::string noDatabaseFile(const std::string& database) {
    return "no database file at '" + database + "'.";
}

std::string tableNotFound(const std::string& table, const std::string& database, const std::string& tables,
                          bool noTables) {
    return "table '" + table + "' not found in database '" + database + "'." +
           (noTables ? " It has no tables." : " Its tables: " + tables + ".");
}

std::string fieldNotFound(const std::string& field, const std::string& table, const std::string& database,
                          const std::string& fields) {
    return "field '" + field + "' not found in table '" + table + "' of database '" + database +
           "'. Its fields: " + fields + ".";
}

std::string fieldTwice(const std::string& field) {
    return "field '" + field + "' is given more than once.";
}

std::string notWritten(const std::string& output) {
    return "the table '" + output + "' was not written (see the messages above).";
}

std::string summary(long long read, long long removed, long long written, const std::string& output) {
    return "Read " + std::to_string(read) + " rows, removed " + std::to_string(removed) + " repeated rows, wrote " +
           (written >= 0 ? std::to_string(written) : std::string("an unknown number of")) + " rows to table '" +
           output + "'.";
}

std::string workTableLeft(const std::string& workTable, const std::string& database) {
    return "warning: the work table '" + workTable + "' could not be removed from '" + database +
           "'; the next run removes it.";
}

std::string rowsScanned(long long row, long long maximum) {
    return "rowsifter-cli: " + std::to_string(row) + " of " + std::to_string(maximum) + " rows scanned";
}

} // namespace dedupe::cli_text
