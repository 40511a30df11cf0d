// One run of rowsifter-cli (see run.h).
#include "cli/run.h"
#include "access/header.h"
#include "access/sqlite_copy.h"
#include "cli/messages.h"
#include "cli/outcome.h"
#include "cli/password_prompt.h"
#include "cli/progress.h"
#include "db/backend.h"
#include "db/catalogue.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/server_address.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include "dedupe/dry_run.h"
#include "dedupe/engine.h"
#include "dedupe/groups.h"
#include <algorithm>
#include <csignal>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace cli {

namespace {

std::string joinNames(const std::vector<std::string>& names, std::size_t limit) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < limit; ++i)
        text += (i ? ", " : "") + names[i];
    if (names.size() > limit)
        text += ", ... (" + std::to_string(names.size()) + " in all)";
    return text;
}

// Reads the field names of `table`; throws db::Error.
std::vector<std::string> fieldNames(const std::string& connectionString, const std::string& table) {
    db::Connection connection;
    connection.Mode = db::adModeReadWrite;
    connection.Open(connectionString);
    db::Recordset rows;
    rows.Open("SELECT * FROM " + db::quoteBracket(table) + ";", connection, db::adOpenDynamic, db::adLockOptimistic);
    std::vector<std::string> names;
    for (int i = 0; i < rows.fieldCount(); ++i)
        names.push_back(rows.field(i).Name);
    rows.Close();
    connection.Close();
    return names;
}

// The listed table of that name as the database compares names; empty when none. A server tells "Orders"
// from "orders" (`exactly`); a file does not.
std::string listedAs(const std::vector<std::string>& tables, const std::string& name, bool exactly) {
    if (std::find(tables.begin(), tables.end(), name) != tables.end())
        return name;
    if (exactly)
        return {};
    const auto found = std::find_if(tables.begin(), tables.end(),
                                    [&](const std::string& t) { return dedupe::sameTableName(t, name); });
    return found == tables.end() ? std::string() : *found;
}

// Ctrl-C during a run on a server: the statement the server is running is cancelled and the run ends
// with its report (nothing changed); a second Ctrl-C ends the program at once.
void cancelOnInterrupt(int) {
    db::cancelServerStatements();
}

void watchInterrupts() {
    struct sigaction action {};
    action.sa_handler = cancelOnInterrupt;
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int run(const Options& options) {
    Outcome outcome(options);
    // A server is asked first with libpq's own sources (~/.pgpass, PGPASSWORD, a service file); the prompt
    // comes only when it wants a password they do not give.
    const bool server = db::isServerUri(options.database);
    std::string password = readPassword(options.database, !server);
    std::string database = options.database;
    if (server && !options.sqliteCopy.empty())
        return outcome.fail(text::sqliteCopyNotForServer(db::shownDataSource(options.database)));
    try {
        db::checkServerAddress(database);
    } catch (const db::Error& error) {
        return outcome.fail(error.description());
    }
    if (server)
        for (const std::string* name : {&options.output, &options.removedInto, &options.groupsInto})
            if (name->size() > db::longestTableName(database))
                return outcome.fail(
                    text::nameTooLongForServer(*name, db::longestTableName(database), db::shownDataSource(database)));

    // A real Access file is only ever read: its tables go into a new SQLite database, and the run (if any)
    // works on that copy.
    const bool accessFile = !server && accessdb::isAccessFile(database);
    if (accessFile && options.sqliteCopy.empty())
        return outcome.fail(text::accessNeedsCopy(database));
    if (!accessFile && !options.sqliteCopy.empty())
        return outcome.fail(text::notAnAccessFile(database));
    if (accessFile) {
        try {
            const accessdb::CopyResult copied = accessdb::copyAccessToSqlite(
                database, options.sqliteCopy,
                [&](const accessdb::CopyProgress& p) {
                    if (!options.quiet && p.rowsDone == 0)
                        outcome.note(text::copyingTable(p.table, p.tableIndex + 1, p.tableCount));
                    return true;
                },
                password);
            long long rows = 0;
            for (const auto& t : copied.tables)
                rows += t.rows;
            outcome.note(text::copied(copied.tables.size(), rows, options.sqliteCopy));
        } catch (const db::Error& error) {
            return outcome.fail(error.description());
        }
        outcome.copiedInto = options.sqliteCopy;
        database = options.sqliteCopy;
        if (options.copyOnly())
            return outcome.succeed(text::copied(0, -1, database));
    }
    std::string connectionString = db::BuildConnectionString(database, password);

    std::vector<std::string> tables;
    std::vector<std::string> fields;
    std::string table; // as the file stores its name
    try {
        std::optional<std::vector<std::string>> found;
        try {
            found = db::GetAccessTableNames(database, connectionString);
        } catch (const db::Error& error) {
            if (!server || error.number() != db::err::WrongPassword || !password.empty() || !isatty(STDIN_FILENO))
                throw;
            password = readPassword(db::shownDataSource(database));
            connectionString = db::BuildConnectionString(database, password);
            found = db::GetAccessTableNames(database, connectionString);
        }
        if (!found)
            return outcome.fail(text::noDatabaseFile(database));
        tables = std::move(*found);
        table = listedAs(tables, options.table, server);
        if (table.empty()) {
            if (auto module = db::VirtualTableModule(connectionString, options.table))
                return outcome.fail(text::virtualTable(options.table, *module));
            return outcome.fail(text::tableNotFound(options.table, database, joinNames(tables, 20), tables.empty()));
        }
        fields = fieldNames(connectionString, table);
    } catch (const db::Error& error) {
        return outcome.fail(error.description());
    }
    for (const dedupe::OrderKey& key : options.orderBy)
        if (std::find(fields.begin(), fields.end(), key.field) == fields.end())
            return outcome.fail(text::fieldNotFound(key.field, options.table, database, joinNames(fields, 40)));
    for (std::size_t i = 0; i < options.fields.size(); ++i) {
        const std::string& name = options.fields[i];
        if (std::find(fields.begin(), fields.end(), name) == fields.end())
            return outcome.fail(text::fieldNotFound(name, table, database, joinNames(fields, 40)));
        if (std::find(options.fields.begin(), options.fields.begin() + static_cast<long>(i), name) !=
            options.fields.begin() + static_cast<long>(i))
            return outcome.fail(text::fieldTwice(name));
    }

    dedupe::EngineInputs inputs = dedupe::makeEngineInputs(connectionString, table, fields, options.fields);
    inputs.options.keepLast = options.keepLast;
    inputs.options.rules = options.rules;
    inputs.options.emptyKeysDistinct = options.emptyKeysDistinct;
    inputs.options.groupsInto = options.groupsInto;
    inputs.options.orderBy = options.orderBy;
    // The table of groups adds three columns of its own to the table's: none may have their names.
    if (!options.groupsInto.empty())
        for (const std::string& name : fields)
            if (dedupe::isGroupColumnName(name, server))
                return outcome.fail(text::groupColumnTaken(name, options.table));
    inputs.options.removedInto = options.removedInto;

    // Names the engine refuses are refused here, for a dry run too, and said once.
    if (const std::string refusal = dedupe::refusalFor(inputs, options.output); !refusal.empty())
        return outcome.fail(refusal);
    // An existing table is replaced only when asked: without --replace nothing changes, and a dry run
    // answers so as well.
    std::string existing;
    for (const std::string& name : {options.output, options.removedInto, options.groupsInto})
        if (!name.empty() && existing.empty())
            existing = listedAs(tables, name, server);
    if (!existing.empty() && !options.replace)
        return outcome.fail(text::existsWithoutReplace(existing));

    if (options.dryRun) {
        try {
            const dedupe::DryRunResult counted = dedupe::countRepeats(inputs);
            outcome.rowsRead = counted.rowsRead;
            outcome.rowsRemoved = counted.rowsRemoved;
            outcome.rowsWritten = counted.rowsWritten();
            outcome.groups = counted.groups;
            outcome.largestGroup = counted.largestGroup;
            outcome.largestGroups = counted.largest;
        } catch (const db::Error& error) {
            return outcome.fail(error.description());
        }
        outcome.outputExists = !existing.empty();
        if (!existing.empty())
            outcome.note(text::wouldReplace(existing));
        std::string said = text::wouldDo(outcome.rowsRead, outcome.rowsRemoved, outcome.rowsWritten, options.output);
        if (!options.groupsInto.empty())
            said += "\n" + text::largestGroups(outcome.groups, outcome.largestGroups);
        return outcome.succeed(said);
    }
    if (server)
        watchInterrupts();
    const auto host = makeTerminalHost(options.output, tables, server, options.quiet || options.json, options.json);
    const dedupe::RunResult result = dedupe::CreateTableWithoutDuplicates(inputs, *host);
    host->setProgressValue(0); // closes a progress bar left open
    outcome.rowsRead = result.rowsRead;
    outcome.rowsRemoved = result.rowsRemoved;
    if (result.complete()) {
        outcome.groups = result.groups;
        outcome.largestGroup = result.largestGroup;
    }
    if (!result.started) // the host has printed the refusal, unless for --json
        return options.json ? outcome.fail(result.refusal) : kExitFailed;
    // The report above said what failed and what was kept; the summary is only for a complete table.
    if (!result.complete())
        return outcome.fail(options.json && !result.failure.empty() ? result.failure : text::notWritten(options.output),
                            result.kept);
    outcome.rowsWritten = result.rowsWritten;
    return outcome.succeed(text::summary(result.rowsRead, result.rowsRemoved, result.rowsWritten, options.output));
}

} // namespace cli
