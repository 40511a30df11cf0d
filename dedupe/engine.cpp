#include "dedupe/engine.h"
#include "core/trap.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include "dedupe/key_set.h"
#include "dedupe/messages.h"
#include "dedupe/row_key.h"
#include <charconv>
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

// Table names are compared the way the database compares them: ASCII letters without regard to case.
bool sameTableName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Names the run must not work with, because it would destroy the user's table or its own work table.
std::string refusalFor(const EngineInputs& inputs, const std::string& output) {
    if (!output.empty() && sameTableName(output, inputs.TableName))
        return text::outputIsChosenTable(output, inputs.TableName);
    if (sameTableName(output, ScratchTableName))
        return text::outputIsWorkTable(output);
    if (sameTableName(inputs.TableName, ScratchTableName))
        return text::chosenIsWorkTable(inputs.TableName);
    return {};
}

void appendDecimal(std::string& text, long long number) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, number);
    (void)ec; // 24 digits always hold a 64-bit number
    text.append(digits, end);
}

// The identifier of the current row as the delete statement needs it: whole numbers in decimal, anything
// else as its text (a Null gives an empty value, and the statement fails and is reported).
void appendIdentifier(std::string& text, const db::Value& value) {
    if (value.isInteger())
        appendDecimal(text, value.asInteger());
    else
        text += value.toText();
}

// Whether the last column of the scan can tell its rows apart: whole numbers, none Null, and strictly
// rising in the scan's order (which is ascending by that column, so no value repeats). Leaves the scan on
// its first row.
bool identifiersAreUnique(db::Recordset& scan) {
    const int last = scan.fieldCount() - 1;
    bool any = false;
    std::int64_t previous = 0;
    bool unique = true;
    for (scan.MoveFirst(); !scan.EOF_(); scan.MoveNext()) {
        const db::Value value = scan[last];
        if (!value.isInteger() || (any && value.asInteger() <= previous)) {
            unique = false;
            break;
        }
        previous = value.asInteger();
        any = true;
    }
    scan.MoveFirst();
    return unique;
}

db::Error notCreated(const char* what) {
    return db::Error(db::err::ObjectClosed, text::notCreated(what));
}

} // namespace

bool isRunning() {
    return g_running;
}

RunResult CreateTableWithoutDuplicates(const EngineInputs& inputs, EngineHost& host) {
    RunResult result;
    if (g_running) {
        // The window disables its buttons while a run lasts; this is the last line of defence, silently.
        result.refusal = text::kAlreadyRunning;
        return result;
    }
    result.refusal = refusalFor(inputs, host.outputName());
    if (!result.refusal.empty()) {
        host.messageBox(result.refusal);
        return result;
    }
    RunningScope running;
    result.started = true;

    core::Trap trap{core::location(kEngineProcedure), host.reporter()};
    const std::string scratchBracket = db::quoteBracket(ScratchTableName);
    const std::string scratchBackquote = db::quoteBackquote(ScratchTableName);

    // Preparation
    std::optional<db::Connection> connection;
    std::optional<db::Recordset> recordset;
    auto conn = [&]() -> db::Connection& {
        if (!connection)
            throw notCreated("connection");
        return *connection;
    };
    auto rs = [&]() -> db::Recordset& {
        if (!recordset)
            throw notCreated("record set");
        return *recordset;
    };
    trap.run(100, [&] { connection.emplace(); });
    trap.run(102, [&] { recordset.emplace(); });
    // The result of an earlier run holds the file open and may be the table this run replaces.
    trap.run(106, [&] { host.clearResult(); });
    trap.run(106, [&] { host.setPointer(core::PointerBusy); });
    trap.run(108, [&] { conn().Mode = db::adModeReadWrite; });
    trap.run(110, [&] { conn().Open(inputs.connectionString); });

    // Clearing old tables. A listed table of the output's name is replaced, but it is dropped (114) only
    // once the rows that replace it are ready: dropped here, it would be lost to a run that fails or is
    // cut short before the new table is written.
    std::optional<std::string> replaced;
    {
        const std::string output = host.outputName();
        if (trap.test(112, [&] { return host.isTableListed(output); }))
            replaced = output;
    }
    if (trap.test(116, [&] { return host.isTableListed(ScratchTableName); })) {
        trap.run(118, [&] { conn().Execute("DROP TABLE " + scratchBracket); });
    } else if (connection && connection->isOpen()) {
        // A work table the list does not show (left by an earlier run since the list was filled) would
        // otherwise make the copy below fail and the run go on with its stale rows.
        try {
            conn().Execute("DROP TABLE " + scratchBracket);
        } catch (const db::Error&) {
            // none there: the usual case
        }
    }

    // Scratch copy
    const bool copied = trap.run(120, [&] {
        conn().Execute("SELECT * INTO " + scratchBracket + " From " + db::quoteBracket(inputs.TableName));
    });

    // Identifier column: the last 4-byte integer column of the copy
    trap.run(122, [&] {
        rs().Open("SELECT * FROM " + scratchBracket + ";", conn(), db::adOpenDynamic, db::adLockOptimistic);
    });
    bool found = false;
    std::string identifier;
    trap.run(124, [&] { found = false; });
    // A failed column count is reported once and the search skipped.
    const int columns = trap.value(126, 0, [&] { return rs().fieldCount(); });
    for (int i = 0; i < columns; ++i) {
        trap.run(128, [&] { host.yield(); });
        if (trap.test(130, [&] { return rs().field(i).Type == db::adInteger; })) {
            trap.run(132, [&] { identifier = rs().field(i).Name; });
            trap.run(134, [&] { found = true; });
        }
    }
    trap.run(138, [&] { rs().Close(); });

    bool numbered = false;
    auto addNumberingColumn = [&] {
        trap.run(142, [&] { identifier = ScratchColumnName; });
        trap.run(144, [&] { conn().setProperty("Jet OLEDB:Max Locks Per File", db::Value(1000000000)); });
        numbered = trap.run(146, [&] {
            conn().Execute("ALTER TABLE " + scratchBracket + " ADD COLUMN " + db::quoteBracket(ScratchColumnName) +
                           " LONG IDENTITY(1,1)");
        });
    };
    if (trap.test(140, [&] { return !found; }))
        addNumberingColumn();

    // Scan and delete
    KeySet seen;
    trap.run(148, [&] { seen.clear(); });
    trap.run(150, [&] { rs().CursorLocation = db::adUseServer; });
    auto openScan = [&] {
        return trap.run(152, [&] {
            rs().Open("SELECT " + inputs.ChosenFieldList + "," + db::quoteBackquote(identifier) + " FROM " +
                          scratchBackquote + " order by " + db::quoteBackquote(identifier),
                      conn(), db::adOpenStatic, db::adLockOptimistic);
        });
    };
    bool scanOpen = openScan();
    bool trusted = numbered;
    if (scanOpen && found) {
        trusted = trap.value(152, false, [&] { return identifiersAreUnique(rs()); });
        if (!trusted) {
            // The table's own integer column repeats a value or holds a Null or a fraction: a delete by it
            // could remove rows that are not duplicates. Number the rows instead, as for a table without one.
            trap.run(152, [&] { rs().Close(); });
            addNumberingColumn();
            scanOpen = openScan();
            trusted = numbered;
        }
    }
    if (scanOpen && !trusted) {
        trusted = trap.value(152, false, [&] { return identifiersAreUnique(rs()); });
    }
    if (scanOpen && !trusted) {
        // The numbering column could not be added (the table has a field of that name already): deleting by
        // an identifier that may repeat could remove rows that are not duplicates, so nothing is deleted.
        trap.run(152, [&] {
            throw db::Error(db::err::EngineError, text::cannotTellRowsApart(identifier, inputs.TableName));
        });
    }
    long long rowCount = 0;
    trap.run(158, [&] { rowCount = rs().RecordCount(); });
    trap.run(160, [&] { host.setProgressMaximum(static_cast<double>(rowCount)); });

    const std::string deletePrefix =
        "delete from " + scratchBackquote + " where " + db::quoteBackquote(identifier) + "=";
    const std::string titleOf = " of " + std::to_string(rowCount);
    std::string title;
    std::string key;
    std::string deleteSql;
    std::optional<int> keyColumns;
    for (long long j = 0; j < rowCount; ++j) {
        trap.run(164, [&] { host.setProgressValue(static_cast<double>(j + 1)); });
        trap.run(166, [&] {
            title.assign("Processing ");
            appendDecimal(title, j + 1);
            title += titleOf;
            host.setTitle(title);
        });
        trap.run(168, [&] { host.yield(); });
        trap.run(170, [&] { key.clear(); });
        // The scan's columns do not change from row to row: a failed count is reported once, not per row.
        if (!keyColumns)
            keyColumns = trap.value(172, 0, [&] { return rs().fieldCount() - 1; });
        for (int k = 0; k < *keyColumns; ++k) {
            trap.run(174, [&] { host.yield(); });
            trap.run(176, [&] { appendKeyPart(key, rs()[k]); });
        }
        // (180) Framed key parts leave no trailing separator to cut.
        // Looking the key up and remembering it are one step, so each key is hashed once. A lookup that
        // fails (out of memory) is reported and the row kept: only a row known to repeat is deleted.
        if (trusted && trap.value(182, false, [&] { return !seen.insert(key); })) {
            const bool deleted = trap.run(184, [&] {
                deleteSql = deletePrefix;
                appendIdentifier(deleteSql, rs()[*keyColumns]);
                conn().Execute(deleteSql);
            });
            if (deleted)
                ++result.rowsRemoved;
        }
        trap.run(188, [&] { rs().MoveNext(); });
        ++result.rowsRead;
    }
    trap.run(192, [&] { rs().Close(); });
    trap.run(194, [&] { seen = KeySet{}; });
    trap.run(196, [&] { host.setTitle(core::kProductName); });

    // Output. Without the scratch copy there is nothing to replace the old table with: it stays.
    if (replaced && copied)
        trap.run(114, [&] { conn().Execute("DROP TABLE " + db::quoteBracket(*replaced)); });
    result.outputWritten = trap.run(198, [&] {
        conn().Execute("SELECT " + inputs.TableFieldList + " INTO " + db::quoteBracket(host.outputName()) + " FROM " +
                       scratchBracket);
    });
    trap.run(200, [&] { conn().Execute("DROP TABLE " + scratchBracket); });

    // Result: only a table this run wrote is shown.
    trap.run(202, [&] { conn().CursorLocation = db::adUseClient; });
    if (result.outputWritten) {
        const bool opened = trap.run(204, [&] {
            rs().Open("SELECT * FROM " + db::quoteBackquote(host.outputName()) + ";", conn(), db::adOpenKeyset,
                      db::adLockReadOnly);
        });
        if (opened) {
            try {
                result.rowsWritten = rs().RecordCount();
            } catch (const db::Error&) {
                // only the summary of the command line misses it
            }
            trap.run(206, [&] { host.bindResult(rs()); });
        }
    }
    if (trap.test(208, [&] { return host.isMinimized(); }))
        trap.run(208, [&] { host.restoreNormal(); });
    trap.run(210, [&] { host.setPointer(core::PointerDefault); });
    trap.run(211, [&] { host.setProgressValue(0); });
    if (result.outputWritten)
        trap.run(216, [&] { host.messageBox(text::kDone); });

    result.failures = trap.failures();
    return result;
}

} // namespace dedupe
