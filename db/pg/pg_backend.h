#pragma once
// The PostgreSQL back-end: the dialect's statements carried out on a server table where it lives.
//
// A run's scratch table never exists on the server. It is a work table kept by this back-end: the source
// table seen through one REPEATABLE READ snapshot (taken when the copy is made, held until the output is
// committed), its numbering column a row_number() over the primary key or the rows' physical order inside
// the statement that reads them, and its deletes recorded here. The output is written by the server in
// one statement that leaves the recorded rows out. So no statement is sent per row, and a failure, a lost
// connection or a killed client leaves every table as it was and nothing of the run's own on the server.
#include "db/backend.h"
#include "db/pg/session.h"
#include <memory>
#include <string>
#include <vector>

namespace db::pg {

class PgBackend final : public Backend, public std::enable_shared_from_this<PgBackend> {
public:
    // Connects (the URI is checked first: no password in it) and fixes the session's settings.
    static std::shared_ptr<Backend> open(const std::string& uri, const std::string& password, bool readOnly);
    ~PgBackend() override;

    const std::string& dataSource() const override { return m_uri; }
    void execute(const dialect::Statement& statement) override;
    std::shared_ptr<RecordSource> query(const dialect::Select& select, int cursorType) override;
    std::shared_ptr<RecordSource> schemaTables() override;
    void commitPending() override;
    void ensureWritable() override;
    long long tableBytes(const std::string& table) override;
    FreeSpace workTableSpace() const override;
    void beginTransaction() override;
    void commitTransaction() override;
    void rollbackTransaction() override;
    void declareWorkTable(const std::string& name) override;
    void cancel() override;

    // For the record sources: the rows of a statement of this back-end's own making.
    struct Statement {
        std::string sql;
        std::vector<Param> params;
        std::string table; // as the user named it, for messages
        // A static read ordered by a whole-number column is sorted here, not by the server: the column
        // (its place among the rows' columns) and the direction. -1: the SQL orders the rows itself.
        int sortColumn = -1;
        bool sortDescending = false;
        // The column that holds the rows' numbers by place: read as ctid, turned into the number here.
        int placeColumn = -1;
        // The whole of a table, by the name the caller gave: the number of rows of one this connection
        // made is known without asking.
        std::string wholeTable;
    };
    void readRows(const Statement& statement, long long limit,
                  const std::function<void(const std::vector<Column>&)>& columns,
                  const std::function<void(const Row&)>& row);
    // All rows of a statement without parameters, read with COPY: the columns are those `columns` got.
    void copyRows(const Statement& statement, const std::function<void(const Row&)>& row);
    long long countRows(const Statement& statement);
    void usedStatement(std::string_view table); // a table's known row count is void after a change

    PgBackend(std::string uri, std::unique_ptr<Session> session);

private:
    struct Target {
        std::string sql;  // schema-qualified where needed, every part quoted
        std::string name; // as the user named it
    };
    struct WorkTable;

    Target resolve(const std::string& name, bool creating);
    WorkTable* work(const std::string& name);
    std::vector<Column> describe(const Target& table);
    void chooseNumbering(WorkTable& w);
    Statement selectStatement(const dialect::Select& select);
    std::string workRows(WorkTable& w, bool& filtered, std::vector<Param>& params, bool places = false);

    void selectInto(const dialect::Select& s);
    void addIdentity(const dialect::AddIdentity& a);
    void deleteRows(const dialect::Delete& d);
    void dropTable(const dialect::DropTable& d);

    void beginSnapshot();
    void schemaChanged();
    void transactionEnded();
    void endTransaction(const char* sql);
    template <class F> auto guarded(F&& f) -> decltype(f());
    void finishStatement(bool scoped);

    std::string m_uri;
    std::string m_password; // for the grids' own connections (db/pg/scroll_source.h); never shown or kept
    std::unique_ptr<Session> m_session;
    bool m_inTransaction = false; // the snapshot transaction is open
    bool m_held = false;          // ... and the caller holds it (BeginTrans)
    bool m_commitAfter = false;   // the statement changed the schema outside a held transaction
    std::vector<std::string> m_declared;
    std::vector<std::unique_ptr<WorkTable>> m_work;
    std::vector<std::pair<std::string, long long>> m_madeRows; // tables made here (as named), with their rows
};

} // namespace db::pg
