#pragma once
// What the duplicate-removal engine needs of the window (or front end) that runs it, and what it reads
// and reports back. The output page implements EngineHost; so does rowsifter-cli.
#include "core/error_report.h"
#include "core/program.h"
#include "db/recordset.h"
#include "dedupe/engine_inputs.h"
#include <string>

namespace dedupe {

inline constexpr const char* kEngineProcedure = "Form4.PushButton4_Click";
inline constexpr const char* ScratchTableName = "TEMP_TABLE_CREATED_BY_QUORVANDELL";
inline constexpr const char* ScratchColumnName = "TEMP_COLUMN_CREATED_BY_QUORVANDELL";
// The command line's work table of removed rows (only when they are kept).
inline constexpr const char* RemovedWorkTableName = "TEMP_REMOVED_CREATED_BY_QUORVANDELL";
// And its work table of the groups (only when they are written).
inline constexpr const char* GroupsWorkTableName = "TEMP_GROUPS_CREATED_BY_QUORVANDELL";

class EngineHost {
public:
    virtual ~EngineHost() = default;

    // Current text of the output-name box; read afresh at each use.
    virtual std::string outputName() const = 0;
    // Whether `name` is an entry of the table page's list (exact comparison).
    virtual bool isTableListed(const std::string& name) const = 0;

    // Called once per row; a host may coalesce screen updates, as long as the last value is shown.
    virtual void setProgressMaximum(double maximum) = 0;
    virtual void setProgressValue(double value) = 0;
    virtual void setTitle(const std::string& text) = 0;
    virtual void setPointer(int style) = 0; // core::PointerDefault or core::PointerBusy

    virtual bool isMinimized() const = 0;
    virtual void restoreNormal() = 0;

    // Shows the output table; the host keeps the record set (and so the file) for as long as it shows it.
    virtual void bindResult(const db::Recordset& result) = 0;
    // Shows nothing; releases any record set shown before.
    virtual void clearResult() = 0;

    // A message box with an OK button, no icon and the application title: "Done." or a refusal.
    virtual void messageBox(const std::string& text) = 0;

    // Lets the event loop run (repaints, input); called once per row and per key column.
    virtual void yield() = 0;

    // Shows the error report of a failed statement.
    virtual core::Reporter& reporter() = 0;
};

struct RunResult {
    bool started = false;       // false: refused before anything was changed (see `refusal`)
    std::string refusal;        // why it was refused; empty when it ran
    bool outputWritten = false; // the output table was created from the de-duplicated rows
    int failures = 0;           // error reports shown during the run
    int failedStatement = 0;    // the statement that stopped the run; 0 when none did
    std::string failure;        // what the report of that statement said, with what was kept
    std::string kept;           // what was kept, said on its own
    bool scratchLeft = false;   // the work table is still in the file (it could not be dropped)
    long long rowsRead = 0;     // rows of the scan
    long long rowsRemoved = 0;  // duplicate rows deleted
    long long rowsWritten = -1; // rows of the output table; -1 when unknown
    long long groups = 0;       // groups of two or more rows that agree on the key
    long long largestGroup = 0; // rows of the largest of them; 0 when none

    // Written, and no statement that reads or writes the data failed: the output is exactly the
    // de-duplicated table (a work table left behind does not change that).
    bool complete() const { return started && outputWritten && failedStatement == 0; }
};

} // namespace dedupe
