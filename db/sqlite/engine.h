#pragma once
// The SQLite back-end: one open file, the dialect's statements turned into SQLite's. The class is
// declared here and defined by concern, one file each: open.cpp (opening and configuring), errors.cpp
// (SQLite's failures as db::Error), statement.cpp (preparing and stepping), transactions.cpp, schema.cpp
// (reading the schema), select.cpp, alter.cpp, delete.cpp and execute.cpp (the dialect's statements),
// work_tables.cpp (work tables and their recorded deletes). Connection reaches it through db/backend.h
// only; db/internal.h reaches it directly for the sample maker, the tests and the Access copy.
#include "db/backend.h"
#include "db/field.h"
#include "db/free_space.h"
#include "db/record_source.h"
#include "db/sqlite/file_kind.h"
#include "db/sqlite/sqlite_api.h"
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace db::sqlite {

class FileClaim; // db/sqlite/file_registry.h

struct ColumnDef {
    std::string name;
    std::string declaredType;
    std::string collation; // the declared collating sequence (NOCASE, RTRIM); empty for the default
    bool notNull = false;
    std::optional<std::string> defaultSql;
    int primaryKeyIndex = 0; // 1-based position in the primary key, 0 when not part of it
    bool generated = false;  // a generated column: its values come from an expression, never from an insert
};

struct TableInfo {
    std::string name;            // as stored
    std::string schema = "main"; // the database that holds it: "main", or a work table's own
    bool isView = false;
    bool strict = false; // a STRICT table: values must match the declared types exactly
    std::string rowid;   // SQL that reaches the rowid; empty when the table has none that can be reached
    int rowidAlias = -1; // index of the INTEGER PRIMARY KEY column, -1 when there is none
    std::vector<ColumnDef> columns;
    // A work table that is the rows of a table of the file, read in place: that table's name as stored.
    std::string borrowedFrom;
    bool numberedByRowid = false; // its numbering column (rowidAlias) is the source's rowid under a new name

    int columnIndex(std::string_view columnName) const; // as SQLite compares names; -1 when absent
    std::string qualified() const; // what statements read: the quoted name, with its database when not the file
    std::string columnSql(int index) const; // what statements read for the column
    bool work() const { return schema != "main"; }
};

class Engine final : public Backend, public std::enable_shared_from_this<Engine> {
public:
    // Recognises the file by its content and opens it; throws db::Error with a message naming the file.
    // Read-only: the file is never written through this connection, and may be a file the user cannot write.
    static std::shared_ptr<Engine> open(const std::string& path, const std::string& password, bool readOnly = false);
    // Creates a new, empty database file (encrypted when a password is given). `unsynced`: a file nothing
    // relies on until its maker syncs it (a copy built under a temporary name), written from its first
    // write on without a journal and without syncs.
    static std::shared_ptr<Engine> create(const std::string& path, const std::string& password, bool unsynced = false);
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const std::string& path() const { return m_path; }
    const std::string& dataSource() const override { return m_path; }
    const Api& api() const { return *m_api; }

    void execute(const dialect::Statement& statement) override;
    std::shared_ptr<RecordSource> query(const dialect::Select& select, int cursorType) override;
    std::shared_ptr<RecordSource> schemaTables() override;
    void commitPending() override;
    // Throws the error a first write would give (read-only file or folder, a lock held elsewhere), without
    // changing anything.
    void ensureWritable() override;
    // Bytes of the table's rows in the file (what any copy of them needs at least); -1 when the library
    // cannot tell.
    long long tableBytes(const std::string& table) override;
    // Where declared work tables are kept, and the bytes free there for this user.
    FreeSpace workTableSpace() const override;
    // The folder of the file, and the bytes free there for this user.
    FreeSpace fileFolderSpace() const override;
    // Work tables made afterwards go beside the file, still as temporary files that go with the process
    // (an encrypted file's encrypted with a key of its own).
    void keepWorkBesideFile() override;
    // A transaction the caller holds open: statements run inside it (schema changes as savepoints) and
    // nothing is committed until commitTransaction; closing without it undoes everything since begin.
    void beginTransaction() override;
    void commitTransaction() override;
    void rollbackTransaction() override;

    // A table the caller makes and drops for its own work on this connection. A copy of a whole table is
    // at first that table's own rows read in place (should another program change the file meanwhile,
    // the reads that would copy them fail); whatever would change them makes a real copy first. A real copy
    // is kept in a database of its own (a temporary file, encrypted with a key of its own for an encrypted
    // file), so its pages never stay in the user's file and a killed process leaves nothing of it. Deletes
    // from it by its rowid are recorded, not carried out, and the rows they name are left out whenever it
    // is next read.
    void declareWorkTable(const std::string& name) override;

    // Plain SQLite text, for the sample maker and tests only; never reached by the dialect.
    void runScript(const std::string& sql);
    // The query plan SQLite chooses for the delete a dialect DELETE turns into (tests check it uses no scan).
    std::string deletePlan(const dialect::Delete& statement);

    // For the record sources.
    StatementPtr prepare(const std::string& sql, const std::string& table = {});
    // Throws the error for a failed SQLite call; the batch state follows SQLite's own first (SQLite may
    // have rolled the open transaction back by itself).
    [[noreturn]] void raise(int rc, const std::string& table = {});
    TableInfo describe(const std::string& table);
    // For the SQL function that leaves recorded deletes out: whether the work table numbered `number`
    // has a recorded delete of `rowid`.
    bool recordedGone(std::size_t number, std::int64_t rowid);

private:
    // Defined in db/sqlite/engine_parts.h, for the files that define the engine.
    class Transaction;
    struct WorkTable;

    Engine(std::string path, const Api& api, DatabasePtr db, std::shared_ptr<FileClaim> claim, FileClass fileClass);
    static DatabasePtr openHandle(const Api& api, const std::string& path, int flags);
    void checkReadable();
    void readCollations(TableInfo& info);
    void configure();
    std::pair<int, StatementPtr> tryPrepare(const std::string& sql);
    [[noreturn]] void raiseNewerFeature(const std::string& detail) const;
    bool hasVersion(int versionNumber) const;

    void exec(const std::string& sql, const std::string& table = {});
    void rollbackIfOpen();
    bool objectExists(const std::string& name);
    void beginBatch();
    void followAutocommit();
    void schemaChanged();

    void selectInto(const dialect::Select& s);
    TableInfo tableForNewColumn(const std::string& table, const std::string& column);
    void addIdentity(const dialect::AddIdentity& a);
    bool rowidsNumberRows(const TableInfo& t, std::optional<long long>& rows);
    void deleteRows(const dialect::Delete& d);
    void dropTable(const dialect::DropTable& d);
    void addColumn(const dialect::AddColumn& a);
    void updateRows(const dialect::Update& u);
    struct DeleteTarget;
    DeleteTarget& deleteStatement(const dialect::Delete& d);
    DeleteTarget& updateStatement(const dialect::Update& u);
    void ensureIndex(const TableInfo& table, const ColumnDef& column);
    // The SQL that finds a row by `column` (its rowid, or the column with an index made for it).
    std::string lookupColumn(const TableInfo& t, const std::string& column);

    WorkTable* workTable(const TableInfo& t);
    bool declaredWork(std::string_view name) const;
    TableInfo makeWorkTable(const std::string& name);
    void attachWorkDatabase(const std::string& schemaName);
    void ensureKeptFunction();
    bool borrowRows(const TableInfo& source, const std::string& target);
    void materialize(WorkTable& w);
    void materializeBorrowersOf(const std::string& table);
    long long dataVersion();
    void ensureBorrowedUnchanged(const WorkTable& w);
    void touchFile();
    void applyRecordedDeletes(WorkTable& w);
    void freezeSnapshots(WorkTable& w);
    void detachDropped();

    std::string m_path;
    const Api* m_api;
    std::shared_ptr<FileClaim> m_claim; // before m_db: the file is given up only after it is closed
    DatabasePtr m_db;
    FileClass m_fileClass;
    bool m_batchOpen = false;
    bool m_heldTransaction = false;
    bool m_deletesStale = false;
    struct DeleteTarget {
        StatementPtr stmt;
        WorkTable* work = nullptr; // the work table deleted from
        bool byRowid = false;      // by its rowid: recorded, not carried out
    };
    std::unordered_map<std::string, DeleteTarget> m_deletes; // by table and column as written; updates too
    std::vector<std::string> m_declaredWork;
    std::vector<std::unique_ptr<WorkTable>> m_work; // index + 1 names the database: rowsifter_work_N
    bool m_keptFunction = false;
    bool m_workBesideFile = false; // SQLite's temporary folder points at the file's folder
    // The rows SELECT ... INTO last wrote into a table of the file, with the connection's count of changes
    // and the file's data version as they were then: while both stay so (and the table is not dropped),
    // a read of the whole table need not count its rows again.
    struct WrittenRows {
        std::string table;
        long long rows = 0;
        long long changes = 0;
        long long dataVersion = 0;
    };
    std::optional<WrittenRows> m_written;
};

} // namespace db::sqlite
