#include "cli/messages.h"

#include <cstdio>

#include "core/version.h"

namespace cli::text {

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

std::string rowsScanned(long long row, long long maximum) {
    return "rowsifter-cli: " + std::to_string(row) + " of " + std::to_string(maximum) + " rows scanned";
}

std::string keepWhich(const std::string& value) {
    return "--keep takes first or last, not '" + value + "'";
}

std::string emptyKeysWhich(const std::string& value) {
    return "--empty-keys takes same or distinct, not '" + value + "'";
}

std::string orderDirection(const std::string& value) {
    return "--order-by takes FIELD, FIELD:asc or FIELD:desc, not '" + value + "'";
}

std::string groupColumnTaken(const std::string& column, const std::string& table) {
    return "the table '" + table + "' has a field '" + column +
           "', a name the table of groups gives its own columns (group_number, group_size, survivor); nothing "
           "was changed.";
}

std::string largestGroups(long long groups, const std::vector<dedupe::DryRunResult::Group>& largest) {
    std::string text =
        "Groups of repeated rows: " + std::to_string(groups) + (largest.empty() ? "." : "; the largest:");
    for (const dedupe::DryRunResult::Group& group : largest)
        text += "\n  " + group.values + " (" + std::to_string(group.rows) + " rows)";
    return text;
}

std::string accessNeedsCopy(const std::string& database) {
    return "'" + database +
           "' is a Microsoft Access database, which cannot be written on this system. Copy it into a new SQLite "
           "database with --sqlite-copy PATH (with --table, --field and --output the duplicates are then removed "
           "in the copy).";
}

std::string notAnAccessFile(const std::string& database) {
    return "--sqlite-copy copies a Microsoft Access database, and '" + database + "' is not one.";
}

std::string sqliteCopyNotForServer(const std::string& server) {
    return "--sqlite-copy copies a Microsoft Access database file; a table on the server '" + server +
           "' is de-duplicated where it lives, without it.";
}

std::string nameTooLongForServer(const std::string& name, std::size_t longest, const std::string& server) {
    return "the table name '" + name + "' is longer than the server '" + server + "' keeps (" +
           std::to_string(longest) + " bytes); it would be cut short, so choose a shorter one. Nothing was changed.";
}

std::string copyingTable(const std::string& table, int number, int count) {
    return "copying table '" + table + "' (" + std::to_string(number) + " of " + std::to_string(count) + ")";
}

std::string copied(std::size_t tables, long long rows, const std::string& path) {
    if (rows < 0)
        return "The SQLite copy is '" + path + "'.";
    return "copied " + std::to_string(tables) + " tables (" + std::to_string(rows) + " rows) into '" + path + "'";
}

std::string existsWithoutReplace(const std::string& table) {
    return "a table '" + table +
           "' exists already; nothing was changed. Give --replace to replace it, or choose another name.";
}

std::string wouldReplace(const std::string& table) {
    return "a table '" + table + "' exists already; the run would replace it (--replace).";
}

std::string virtualTable(const std::string& table, const std::string& module) {
    return "'" + table + "' is a virtual table (module " + module +
           "): its rows belong to that module, so it is not offered; only ordinary tables are de-duplicated.";
}

std::string copyKept(const std::string& copy) {
    return "The SQLite copy '" + copy + "' was written and is kept.";
}

std::string wouldDo(long long read, long long removed, long long written, const std::string& output) {
    return "Would read " + std::to_string(read) + " rows, remove " + std::to_string(removed) +
           " repeated rows, and write " + std::to_string(written) + " rows to table '" + output +
           "'. Nothing was changed (dry run).";
}

std::string nothingChanged() {
    return "Nothing was changed.";
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // A UTF-8 sequence is copied whole when it is well formed.
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        bool valid = length > 0 && c < 0xF5 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid && length == 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            valid = !(c == 0xE0 && second < 0xA0) && !(c == 0xED && second >= 0xA0);
        }
        if (valid && length == 4) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            valid = !(c == 0xF0 && second < 0x90) && !(c == 0xF4 && second >= 0x90);
        }
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\\ufffd";
            ++i;
        }
    }
    return out + "\"";
}

} // namespace cli::text
