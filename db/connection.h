#pragma once
// Connection: one open database (a file, or a server). Copies share the same open file (like object references), and a
// Recordset keeps its connection alive, so a grid can go on showing rows after the opener is gone.
#include "db/free_space.h"
#include "db/value.h"
#include <memory>
#include <string>

namespace db {

class Recordset;
class Backend; // what holds the database (db/backend.h)

class Connection {
public:
    Connection(); // a new, closed connection

    int Mode = 0;           // adModeRead opens the file read-only; any other mode, read/write
    int CursorLocation = 2; // adUseServer by default

    // Opens the file the connection string names. Throws db::Error: provider unknown (3706), no such
    // file, a folder, not a database, a real Access file, wrong or missing password, locked file.
    void Open(const std::string& connectionString);

    // Runs exactly one statement of the dialect. Its effect is visible at once on this connection.
    void Execute(const std::string& sql);

    // A transaction held open by the caller: what runs until CommitTrans becomes durable together, or not
    // at all (RollbackTrans, a failure of the commit, or closing the connection without committing).
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    // Names a table the caller makes (SELECT ... INTO), works on and drops within this connection. It is
    // kept outside the file: its pages never stay in the file, a killed process leaves nothing of it, and
    // deletes from it by its identifier cost no write of its pages.
    void declareWorkTable(const std::string& name);

    // Checks that a first change can be written, without changing anything; throws the error that
    // change would meet (read-only file or folder, a lock held elsewhere).
    void ensureWritable();
    // Bytes a table's rows take in the file (-1: unknown), and where work tables are kept with the bytes
    // free there (bytes -1: unknown, or they are kept in memory).
    long long tableBytes(const std::string& table);
    FreeSpace workTableSpace() const;
    // The database's own folder and the bytes free there; work tables declared afterwards are kept there
    // (as temporary files deleted on close) when asked, for a temporary folder without room.
    FreeSpace fileFolderSpace() const;
    void keepWorkBesideFile();

    // Provider property by name; "Jet OLEDB:Max Locks Per File" is accepted, unknown names throw 3265.
    void setProperty(const std::string& name, const Value& value);
    Value property(const std::string& name) const;

    // adSchemaTables: one row per table or view with TABLE_NAME and TABLE_TYPE
    // ("TABLE", "VIEW", "SYSTEM TABLE"), in the order the file lists them. Only ordinary tables are
    // "TABLE": SQLite's and the program's own tables, virtual tables (FTS, R*Tree, ...) and the shadow
    // tables holding their data are "SYSTEM TABLE".
    Recordset OpenSchema(int schema);

    void Close(); // commits pending changes and releases the file (record sets still open keep it)
    bool isOpen() const;

    const std::string& path() const; // the data source, for messages

    std::shared_ptr<Backend> backend() const; // for Recordset; null while closed

private:
    Backend& openBackend() const; // throws "closed" when it is not open

    std::shared_ptr<struct ConnectionState> m_state; // shared by copies, so Close on one closes all
};

// Whether the database library can be used at all. On failure throws db::Error 3706
// ("Provider cannot be found. It may not be properly installed."). Tests may force the failure.
void probeProvider();
void forceProviderFailureForTesting(bool fail);

} // namespace db
