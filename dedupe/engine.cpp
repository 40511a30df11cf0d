#include "dedupe/engine.h"
#include "core/trap.h"
#include "db/ascii.h"
#include "db/backend.h"
#include "db/catalogue.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include "dedupe/groups.h"
#include "dedupe/key_rules.h"
#include "dedupe/key_set.h"
#include "dedupe/messages.h"
#include "dedupe/row_key.h"
#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>

namespace dedupe {

namespace {

bool g_running = false;

class RunningScope {
public:
    RunningScope() { g_running = true; }
    ~RunningScope() { g_running = false; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
};

} // namespace

bool sameTableName(std::string_view a, std::string_view b) {
    return db::ascii::equalNoCase(a, b);
}

namespace {

bool inInternalNamespace(std::string_view name) {
    return db::ascii::startsWithNoCase(name, db::kInternalTablePrefix);
}

bool onServer(const std::string& connectionString) {
    try {
        return db::isServerUri(db::ParseConnectionString(connectionString).dataSource);
    } catch (const db::Error&) {
        return false; // the connection reports it
    }
}

} // namespace

// Names the run must not work with, because it would destroy the user's table or its own work table, or
// write a table the program hides as its own.
std::string refusalFor(const EngineInputs& inputs, const std::string& output) {
    // A server tells quoted names apart by letter case: there only the very same name is the same table.
    const bool exactly = onServer(inputs.connectionString);
    const auto same = [&](std::string_view a, std::string_view b) { return exactly ? a == b : sameTableName(a, b); };
    if (output.empty())
        return text::kNoOutputName;
    if (same(output, inputs.TableName))
        return text::outputIsChosenTable(output, inputs.TableName);
    if (same(output, ScratchTableName))
        return text::outputIsWorkTable(output);
    if (inInternalNamespace(output))
        return text::internalName(output);
    if (same(inputs.TableName, ScratchTableName))
        return text::chosenIsWorkTable(inputs.TableName);
    const std::string& removed = inputs.options.removedInto;
    if (!removed.empty() && (same(removed, inputs.TableName) || same(removed, output) ||
                             same(removed, ScratchTableName) || same(removed, RemovedWorkTableName)))
        return text::removedTableNameTaken(removed);
    if (inInternalNamespace(removed))
        return text::internalName(removed);
    const std::string& groups = inputs.options.groupsInto;
    if (!groups.empty() &&
        (same(groups, inputs.TableName) || same(groups, output) || same(groups, removed) ||
         same(groups, ScratchTableName) || same(groups, RemovedWorkTableName) || same(groups, GroupsWorkTableName)))
        return text::groupsTableNameTaken(groups);
    return {};
}

namespace {

void appendDecimal(std::string& text, long long number) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
    (void)ec; // 24 digits always hold a 64-bit number
    text.append(digits, end);
}

// The identifier of the current row as the delete statement needs it: whole numbers in decimal, anything
// else as its text (a Null gives an empty value, and the statement fails).
void appendIdentifier(std::string& text, const db::Value& value) {
    if (value.isInteger())
        appendDecimal(text, value.asInteger());
    else
        text += value.toText();
}

// Whether the last column of the scan can tell its rows apart, whatever order the scan is in: whole
// numbers, none Null, no value twice. Leaves the scan on its first row.
bool identifiersAreUniqueInAnyOrder(db::Recordset& scan) {
    const int last = scan.fieldCount() - 1;
    std::vector<std::int64_t> values;
    for (scan.MoveFirst(); !scan.EOF_(); scan.MoveNext()) {
        const db::Value value = scan[last];
        if (!value.isInteger()) {
            scan.MoveFirst();
            return false;
        }
        values.push_back(value.asInteger());
    }
    scan.MoveFirst();
    std::sort(values.begin(), values.end());
    return std::adjacent_find(values.begin(), values.end()) == values.end();
}

db::Error notCreated(const char* what) {
    return db::Error(db::err::ObjectClosed, text::notCreated(what));
}

// One run of the engine. A run is all or nothing: the statements that read or write the database
// (`work`) stop the run at their first failure, the statements after them that need the file are
// skipped, and the failure is reported once at the end, saying what was kept. The window's own steps
// (pointer, title, progress, yields, showing the result) are trapped as designed: a failure there is
// reported and the run goes on.
class Run {
public:
    Run(const EngineInputs& inputs, EngineHost& host)
        : m_inputs(inputs), m_host(host), m_trap(core::location(kEngineProcedure), host.reporter()),
          m_scratchBracket(db::quoteBracket(ScratchTableName)),
          m_scratchBackquote(db::quoteBackquote(ScratchTableName)) {}

    RunResult execute() {
        m_result.started = true;
        open();
        clearOldTables();
        scratchCopy();
        findIdentifier();
        scanAndDelete();
        if (m_renumber)
            renumberAndScanAgain();
        writeOutput();
        showResult();
        m_result.failures = m_trap.failures() + (m_failure ? 1 : 0);
        return m_result;
    }

private:
    struct Failure {
        std::string description;
        int statement = 0;
    };

    template <class F> bool work(int statement, F&& f) {
        if (m_failure)
            return false;
        try {
            std::forward<F>(f)();
            return true;
        } catch (...) {
            m_failure = Failure{core::describeException(std::current_exception()), statement};
            return false;
        }
    }
    // A condition that needs the database: false once the run has stopped, and when it fails.
    template <class F> bool workTest(int statement, F&& f) {
        bool answer = false;
        work(statement, [&] { answer = static_cast<bool>(std::forward<F>(f)()); });
        return answer;
    }
    template <class F> void step(int statement, F&& f) { m_trap.run(statement, std::forward<F>(f)); }

    db::Connection& conn() {
        if (!m_connection)
            throw notCreated("connection");
        return *m_connection;
    }
    db::Recordset& rs() {
        if (!m_recordset)
            throw notCreated("record set");
        return *m_recordset;
    }

    void open() {
        work(100, [&] { m_connection.emplace(); });
        work(102, [&] { m_recordset.emplace(); });
        // The result of an earlier run holds the file open and may be the table this run replaces.
        step(106, [&] { m_host.clearResult(); });
        step(106, [&] { m_host.setPointer(core::PointerBusy); });
        work(108, [&] { conn().Mode = db::adModeReadWrite; });
        // Opened to be written: a file that cannot be is refused here, before anything changes.
        work(110, [&] {
            conn().Open(m_inputs.connectionString);
            conn().ensureWritable();
        });
    }

    // A listed table of the output's name is replaced, but it is dropped (114) only together with the
    // writing of its successor (198), in one transaction.
    void clearOldTables() {
        const std::string output = m_host.outputName();
        if (workTest(112, [&] { return m_host.isTableListed(output); }))
            m_replaced = output;
        if (workTest(116, [&] { return m_host.isTableListed(ScratchTableName); })) {
            bool dropped = false;
            if (!dropIfThere(118, ScratchTableName, dropped))
                m_result.scratchLeft = true;
            if (dropped)
                leftoverDropped(ScratchTableName);
        } else if (!m_failure) {
            // A work table the list does not show (left by an earlier run since the list was filled) would
            // otherwise make the copy below fail.
            if (dropQuietly(ScratchTableName))
                leftoverDropped(ScratchTableName);
        }
        if (keepsRemoved() && !m_failure && dropQuietly(RemovedWorkTableName))
            leftoverDropped(RemovedWorkTableName);
        if (keepsGroups() && !m_failure && dropQuietly(GroupsWorkTableName))
            leftoverDropped(GroupsWorkTableName);
    }

    void leftoverDropped(const char* table) {
        m_leftoverDropped += (m_leftoverDropped.empty() ? "" : "', '") + std::string(table);
    }

    // A drop whose table is already gone has met its aim: the run goes on. Any other failure stops it.
    // `dropped` tells whether this drop removed the table.
    bool dropIfThere(int statement, const std::string& table, bool& dropped) {
        return work(statement, [&] {
            try {
                conn().Execute("DROP TABLE " + db::quoteBracket(table));
                dropped = true;
            } catch (const db::Error& e) {
                if (e.number() != db::err::NoSuchTable)
                    throw;
            }
        });
    }

    // The work table of the groups, when they are written: a copy of the work table made before the scan
    // deletes anything, turned into the table of groups after it.
    bool keepsGroups() const { return !m_inputs.options.groupsInto.empty(); }

    // The work table of the removed rows, when they are kept: a copy of the work table from which each row
    // that survives is deleted, so that it ends holding exactly the removed rows.
    bool keepsRemoved() const { return !m_inputs.options.removedInto.empty(); }

    // Whether the table was there and is gone now.
    bool dropQuietly(const std::string& table) {
        try {
            conn().Execute("DROP TABLE " + db::quoteBracket(table));
            return true;
        } catch (const db::Error&) {
            return false; // none there, or the file no longer allows it
        }
    }

    void scratchCopy() {
        m_scratchMade = work(120, [&] {
            ensureRoomForCopy();
            conn().declareWorkTable(ScratchTableName); // kept outside the user's file
            conn().Execute("SELECT * INTO " + m_scratchBracket + " From " + db::quoteBracket(m_inputs.TableName));
        });
    }

    // A disk that has less room than the copy certainly needs would fill up in the middle of it. The work
    // table is kept in the temporary folder, or, when that has too little room, beside the database file.
    void ensureRoomForCopy() {
        const db::FreeSpace space = conn().workTableSpace();
        if (space.bytes < 0)
            return;
        // No table needs more than the whole file: only a disk with less room than that is worth the
        // count of the table's bytes, which reads all of its pages.
        std::error_code ec;
        const auto fileBytes = std::filesystem::file_size(conn().path(), ec);
        if (!ec && static_cast<long long>(fileBytes) <= space.bytes)
            return;
        const long long needed = conn().tableBytes(m_inputs.TableName);
        if (needed < 0 || needed <= space.bytes)
            return;
        const db::FreeSpace beside = conn().fileFolderSpace();
        if (beside.bytes >= 0 && needed > beside.bytes)
            throw db::Error(db::err::DiskFull, text::notEnoughRoom(m_inputs.TableName, needed, space.folder,
                                                                   space.bytes, beside.folder, beside.bytes));
        conn().keepWorkBesideFile();
    }

    // The identifier: the last 4-byte integer column of the copy.
    void findIdentifier() {
        work(122, [&] {
            rs().Open("SELECT * FROM " + m_scratchBracket + ";", conn(), db::adOpenDynamic, db::adLockOptimistic);
        });
        work(124, [&] { m_found = false; });
        int columns = 0;
        work(126, [&] { columns = rs().fieldCount(); });
        for (int i = 0; i < columns && !m_failure; ++i) {
            step(128, [&] { m_host.yield(); });
            if (workTest(130, [&] { return rs().field(i).Type == db::adInteger; })) {
                work(132, [&] { m_identifier = rs().field(i).Name; });
                work(134, [&] { m_found = true; });
            }
        }
        work(138, [&] { rs().Close(); });
        if (workTest(140, [&] { return !m_found; }))
            addNumberingColumn();
    }

    void addNumberingColumn() {
        work(142, [&] { m_identifier = ScratchColumnName; });
        work(144, [&] { conn().setProperty("Jet OLEDB:Max Locks Per File", db::Value(1000000000)); });
        m_numbered = work(146, [&] {
            conn().Execute("ALTER TABLE " + m_scratchBracket + " ADD COLUMN " + db::quoteBracket(ScratchColumnName) +
                           " LONG IDENTITY(1,1)");
        });
    }

    bool openScan() {
        return work(152, [&] {
            rs().Open("SELECT " + m_inputs.ChosenFieldList + "," + db::quoteBackquote(m_identifier) + " FROM " +
                          m_scratchBackquote + " order by " + survivorOrder(m_inputs.options) +
                          db::quoteBackquote(m_identifier) + (m_inputs.options.keepLast ? " DESC" : ""),
                      conn(), db::adOpenStatic, db::adLockOptimistic);
        });
    }

    // Opens the scan on an identifier that tells the rows apart. The table's own integer column may repeat
    // a value or hold a Null or a fraction: a delete by it could remove rows that are not duplicates, so
    // the rows are numbered instead, as for a table without one. When even that is impossible (a field of
    // the numbering column's name), the run stops before its output is written.
    //
    // A scan in identifier order checks the identifiers as the rows come (identifierRises), at no cost of
    // its own; any other order needs them all first.
    void openTrustedScan() {
        m_checkAlong = m_inputs.options.orderBy.empty();
        if (!openScan() || m_checkAlong)
            return;
        bool trusted = m_numbered;
        if (m_found && !m_numbered) {
            trusted = workTest(152, [&] { return identifiersAreUniqueInAnyOrder(rs()); });
            if (!trusted && !m_failure) {
                work(152, [&] { rs().Close(); });
                addNumberingColumn();
                if (!openScan())
                    return;
                trusted = m_numbered;
            }
        }
        if (trusted)
            trusted = workTest(152, [&] { return identifiersAreUniqueInAnyOrder(rs()); });
        if (!trusted)
            cannotTellRowsApart();
    }

    void cannotTellRowsApart() {
        work(152, [&] {
            throw db::Error(db::err::EngineError, text::cannotTellRowsApart(m_identifier, m_inputs.TableName));
        });
    }

    // In a scan in identifier order, whether the current row's identifier is a whole number beyond the
    // previous row's (below it when the last row of each group is kept), so that no value repeats.
    bool identifierRises(bool first) {
        const db::Value value = rs()[rs().fieldCount() - 1];
        if (!value.isInteger())
            return false;
        const std::int64_t id = value.asInteger();
        const bool rises = first || (m_inputs.options.keepLast ? id < m_previousId : id > m_previousId);
        m_previousId = id;
        return rises;
    }

    // The table's own integer column turned out not to tell the rows apart, part way through the scan. Its
    // deletes went to the work tables only: they are dropped with everything recorded in them, and the
    // scan starts over on a fresh copy with the rows numbered.
    void renumberAndScanAgain() {
        m_renumber = false;
        dropWorkTables();
        m_result.rowsRead = m_result.rowsRemoved = 0;
        scratchCopy();
        addNumberingColumn();
        if (m_numbered)
            scanAndDelete();
        else
            cannotTellRowsApart();
    }

    void scanAndDelete() {
        RowKeySet seen;
        GroupCounter groups(GroupCounter::Places::NotKept); // only counted: the places serve a dry run
        std::uint32_t ordinal = 0;
        work(148, [&] { seen.clear(); });
        work(150, [&] { rs().CursorLocation = db::adUseServer; });
        openTrustedScan();
        long long rowCount = 0;
        work(158, [&] { rowCount = rs().RecordCount(); });
        step(160, [&] { m_host.setProgressMaximum(static_cast<double>(rowCount)); });

        if (keepsRemoved())
            m_removedMade = work(120, [&] {
                conn().declareWorkTable(RemovedWorkTableName); // kept outside the user's file as well
                conn().Execute("SELECT * INTO " + db::quoteBracket(RemovedWorkTableName) + " From " + m_scratchBracket);
            });
        if (keepsGroups())
            m_groupsMade = work(120, [&] {
                conn().declareWorkTable(GroupsWorkTableName);
                conn().Execute("SELECT * INTO " + db::quoteBracket(GroupsWorkTableName) + " From " + m_scratchBracket);
            });
        GroupRows groupRows;
        const std::string keptPrefix = "delete from " + db::quoteBackquote(RemovedWorkTableName) + " where " +
                                       db::quoteBackquote(m_identifier) + "=";
        const std::string deletePrefix =
            "delete from " + m_scratchBackquote + " where " + db::quoteBackquote(m_identifier) + "=";
        const KeyRules& rules = m_inputs.options.rules;
        const std::string titleOf = " of " + std::to_string(rowCount);
        std::string title;
        std::string key;
        std::string deleteSql;
        int keyColumns = 0;
        // The scan's columns do not change from row to row: they are counted once.
        work(172, [&] { keyColumns = rs().fieldCount() - 1; });
        // The key of an earlier row, read back when the set kept only its hash.
        const RowKeySet::KeyOfRow keyOfRow = [&](std::uint64_t row) {
            std::string earlier;
            for (int k = 0; k < keyColumns; ++k)
                appendRuledKeyPart(earlier, rs().valueAt(static_cast<long long>(row), k), rules);
            return earlier;
        };
        for (long long j = 0; j < rowCount && !m_failure; ++j) {
            step(164, [&] { m_host.setProgressValue(static_cast<double>(j + 1)); });
            step(166, [&] {
                title.assign("Processing ");
                appendDecimal(title, j + 1);
                title += titleOf;
                m_host.setTitle(title);
            });
            step(168, [&] { m_host.yield(); });
            if (m_checkAlong && workTest(152, [&] { return !identifierRises(j == 0); })) {
                if (m_found && !m_numbered) {
                    m_renumber = true;
                    break;
                }
                cannotTellRowsApart();
                break;
            }
            work(170, [&] { key.clear(); });
            bool empty = true;
            for (int k = 0; k < keyColumns; ++k) {
                step(174, [&] { m_host.yield(); });
                work(176, [&] { empty = appendRuledKeyPart(key, rs()[k], rules) && empty; });
            }
            // (180) Framed key parts leave no trailing separator to cut.
            // Only a row known to repeat is deleted; any failure ends the scan, and the run writes nothing.
            // With distinct empty keys, a row with nothing in its chosen fields is never looked up.
            bool alone = false;
            if (workTest(182, [&] {
                    if (empty && m_inputs.options.emptyKeysDistinct) {
                        alone = true;
                        if (keepsGroups())
                            groupRows.add(rs()[keyColumns].asInteger(), GroupRows::kAlone, true);
                        return false;
                    }
                    if (!seen.contains(key, keyOfRow, &ordinal))
                        return false;
                    groups.add(ordinal, j);
                    if (keepsGroups())
                        groupRows.add(rs()[keyColumns].asInteger(), ordinal, false);
                    return true;
                })) {
                if (work(184, [&] {
                        deleteSql = deletePrefix;
                        appendIdentifier(deleteSql, rs()[keyColumns]);
                        conn().Execute(deleteSql);
                    }))
                    ++m_result.rowsRemoved;
            } else if (work(186,
                            [&] {
                                if (alone)
                                    return;
                                seen.remember(key, static_cast<std::uint64_t>(j), &ordinal);
                                groups.add(ordinal, j);
                                if (keepsGroups())
                                    groupRows.add(rs()[keyColumns].asInteger(), ordinal, true);
                            }) &&
                       keepsRemoved()) {
                work(184, [&] {
                    deleteSql = keptPrefix;
                    appendIdentifier(deleteSql, rs()[keyColumns]);
                    conn().Execute(deleteSql);
                });
            }
            if (work(188, [&] { rs().MoveNext(); }))
                ++m_result.rowsRead;
        }
        if (m_renumber) {
            work(192, [&] { rs().Close(); });
            return;
        }
        m_result.groups = groups.groups();
        m_result.largestGroup = groups.largest();
        if (m_groupsMade)
            work(184, [&] {
                groupRows.writeStatements(groups, GroupsWorkTableName, m_identifier,
                                          [&](const std::string& sql) { conn().Execute(sql); });
            });
        work(192, [&] { rs().Close(); });
        work(194, [&] { seen.clear(); });
        step(196, [&] { m_host.setTitle(core::kProductName); });
    }

    // The old table goes and the new one comes in one transaction: a failure, a reader or a kill at any
    // moment leaves the old table or the complete new one. The table of removed rows, when asked for, is
    // written in the same transaction: both tables or neither.
    void writeOutput() {
        const std::string output = m_host.outputName();
        const std::string& removed = m_inputs.options.removedInto;
        std::optional<std::string> removedReplaced;
        if (keepsRemoved() && workTest(112, [&] { return m_host.isTableListed(removed); }))
            removedReplaced = removed;
        const std::string& groups = m_inputs.options.groupsInto;
        const bool groupsReplaced = keepsGroups() && workTest(112, [&] { return m_host.isTableListed(groups); });
        const bool inTransaction =
            (m_replaced || keepsRemoved() || keepsGroups()) && work(114, [&] { conn().BeginTrans(); });
        // A listed table that another program dropped meanwhile is simply not there to replace.
        bool dropped = false;
        if (m_replaced && dropIfThere(114, *m_replaced, dropped) && !dropped) {
            m_replaced.reset();
            m_outputGone = true;
        }
        if (removedReplaced)
            dropIfThere(114, *removedReplaced, dropped);
        if (groupsReplaced)
            dropIfThere(114, groups, dropped);
        work(198, [&] {
            conn().Execute("SELECT " + m_inputs.TableFieldList + " INTO " + db::quoteBracket(output) + " FROM " +
                           m_scratchBracket);
        });
        if (keepsRemoved())
            work(198, [&] {
                conn().Execute("SELECT " + m_inputs.TableFieldList + " INTO " + db::quoteBracket(removed) + " FROM " +
                               db::quoteBracket(RemovedWorkTableName));
            });
        if (keepsGroups())
            work(198, [&] {
                conn().Execute("SELECT " + m_inputs.TableFieldList + ", " + db::quoteBracket(kGroupNumberColumn) +
                               ", " + db::quoteBracket(kGroupSizeColumn) + ", " + db::quoteBracket(kSurvivorColumn) +
                               " INTO " + db::quoteBracket(groups) + " FROM " + db::quoteBracket(GroupsWorkTableName) +
                               " ORDER BY " + db::quoteBracket(kGroupNumberColumn) + ", " +
                               db::quoteBracket(m_identifier));
            });
        if (inTransaction)
            work(198, [&] { conn().CommitTrans(); });
        m_result.outputWritten = !m_failure;
        if (inTransaction && !m_result.outputWritten)
            rollBack();
        // The work tables live outside the file, in a temporary database that goes with the connection
        // at the latest: dropping them is not part of the result, and nothing of them can stay behind.
        dropWorkTables();
    }

    // The run's own work tables, each dropped when it was made.
    void dropWorkTables() {
        if (m_scratchMade)
            dropQuietly(ScratchTableName);
        if (m_removedMade)
            dropQuietly(RemovedWorkTableName);
        if (m_groupsMade)
            dropQuietly(GroupsWorkTableName);
        m_scratchMade = m_removedMade = m_groupsMade = false;
    }

    void rollBack() {
        try {
            conn().RollbackTrans();
        } catch (const std::exception&) {
            // the database has already undone it
        }
    }

    void showResult() {
        step(202, [&] { conn().CursorLocation = db::adUseClient; });
        if (m_result.outputWritten) {
            const bool opened = m_trap.run(204, [&] {
                rs().Open("SELECT * FROM " + db::quoteBackquote(m_host.outputName()) + ";", conn(), db::adOpenKeyset,
                          db::adLockReadOnly);
            });
            if (opened) {
                try {
                    m_result.rowsWritten = rs().RecordCount();
                } catch (const db::Error&) {
                    // only the summary of the command line misses it
                }
                step(206, [&] { m_host.bindResult(rs()); });
            }
        }
        if (m_trap.test(208, [&] { return m_host.isMinimized(); }))
            step(208, [&] { m_host.restoreNormal(); });
        step(210, [&] { m_host.setPointer(core::PointerDefault); });
        step(211, [&] { m_host.setProgressValue(0); });
        if (m_failure) {
            // The one report of a run that stopped: what failed, and what was kept.
            m_result.failedStatement = m_failure->statement;
            const std::string output = m_host.outputName();
            bool outputListed = m_replaced.has_value();
            try {
                outputListed = outputListed || (!m_outputGone && m_host.isTableListed(output));
            } catch (const std::exception&) {
                // then only what the run itself found out is said
            }
            m_result.kept = text::keptAfterFailure(m_inputs.TableName, output, outputListed, m_leftoverDropped);
            m_result.failure = m_failure->description + " " + m_result.kept;
            m_host.reporter().report(m_result.failure, core::location(kEngineProcedure), m_failure->statement);
        } else if (m_result.outputWritten) {
            step(216, [&] { m_host.messageBox(text::kDone); });
        }
    }

    const EngineInputs& m_inputs;
    EngineHost& m_host;
    core::Trap m_trap;
    const std::string m_scratchBracket;
    const std::string m_scratchBackquote;
    RunResult m_result;
    std::optional<Failure> m_failure;

    std::optional<db::Connection> m_connection;
    std::optional<db::Recordset> m_recordset;
    std::optional<std::string> m_replaced; // the listed table of the output's name
    bool m_scratchMade = false;            // the work table exists
    bool m_removedMade = false;            // so does the work table of the removed rows
    std::string m_leftoverDropped;         // work tables an earlier run left in the file, dropped by this one
    bool m_outputGone = false;             // the listed table of the output's name was found gone
    bool m_groupsMade = false;             // and that of the groups
    bool m_found = false;                  // the copy has an integer column of its own
    bool m_numbered = false;               // the numbering column was added
    bool m_checkAlong = false;             // the scan checks the identifiers as it reads them
    bool m_renumber = false;               // they repeat: the scan starts over with the rows numbered
    std::int64_t m_previousId = 0;         // the identifier of the scan's previous row
    std::string m_identifier;
};

} // namespace

bool isRunning() {
    return g_running;
}

RunResult CreateTableWithoutDuplicates(const EngineInputs& inputs, EngineHost& host) {
    if (g_running) {
        // The window disables its buttons while a run lasts; this is the last line of defence, silently.
        RunResult refused;
        refused.refusal = text::kAlreadyRunning;
        return refused;
    }
    if (std::string refusal = refusalFor(inputs, host.outputName()); !refusal.empty()) {
        host.messageBox(refusal);
        RunResult refused;
        refused.refusal = std::move(refusal);
        return refused;
    }
    RunningScope running;
    return Run(inputs, host).execute();
}

} // namespace dedupe
