#pragma once
// Backend: what Connection and Recordset need of a database, whatever holds it. One back-end opens files
// (SQLite, db/sqlite/), another talks to servers. The dialect is parsed above this line: a back-end gets
// the parsed statement and turns it into its own SQL, with every name quoted the way it quotes names.
//
// Errors are thrown as db::Error, with a text that names the file or server, the table or the column.
#include "db/dialect.h"
#include "db/free_space.h"
#include "db/record_source.h"
#include <memory>
#include <string>
#include <string_view>

namespace db {

class Backend {
public:
    virtual ~Backend() = default;

    // The file path or the server URI (never a password), for messages.
    virtual const std::string& dataSource() const = 0;

    // One statement of the dialect other than a SELECT without INTO (which query takes); a SELECT without
    // INTO is accepted too and only checks its names. Its effect is visible at once on this connection.
    virtual void execute(const dialect::Statement& statement) = 0;
    // The rows of a SELECT without INTO. cursorType is adOpenStatic for a snapshot (exact count, later
    // changes on this connection not seen), anything else for rows read as they are asked for.
    virtual std::shared_ptr<RecordSource> query(const dialect::Select& select, int cursorType) = 0;
    // adSchemaTables: one row per table or view, with the columns TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME,
    // TABLE_TYPE ("TABLE", "VIEW" or "SYSTEM TABLE") and DESCRIPTION.
    virtual std::shared_ptr<RecordSource> schemaTables() = 0;

    // Makes durable the data changes the back-end grouped for speed (called when the connection closes).
    virtual void commitPending() = 0;
    // Throws the error a first change would meet (read-only, a lock held elsewhere), changing nothing.
    virtual void ensureWritable() = 0;
    // Bytes of the table's rows (what any copy of them needs at least); -1 when unknown.
    virtual long long tableBytes(const std::string& table) = 0;
    // Where declared work tables are kept, and the bytes free there for this user.
    virtual FreeSpace workTableSpace() const = 0;
    // The folder of the database's own file and the bytes free there; none for a server (folder empty,
    // bytes -1).
    virtual FreeSpace fileFolderSpace() const { return {}; }
    // Work tables declared afterwards are kept beside the file, for a temporary folder without room; a
    // back-end that keeps its work elsewhere (a server) ignores it.
    virtual void keepWorkBesideFile() {}

    // A transaction the caller holds open: what runs until commitTransaction becomes durable together or
    // not at all; a statement that fails inside it is undone alone. Closing without a commit undoes it.
    virtual void beginTransaction() = 0;
    virtual void commitTransaction() = 0;
    virtual void rollbackTransaction() = 0;

    // A table the caller makes with SELECT ... INTO, works on and drops on this connection: the back-end
    // may keep it wherever suits it best (outside the file, a temporary table), so long as a killed process
    // leaves nothing of it behind.
    virtual void declareWorkTable(const std::string& name) = 0;

    // Asks a statement running on another thread to stop (servers); a back-end that cannot ignores it.
    virtual void cancel() {}
};

// Whether a Data Source names a server (a postgresql:// or postgres:// URI) rather than a file.
bool isServerUri(std::string_view dataSource);

// Opens what the Data Source names: a server URI with the server back-end, anything else as a file.
// Read-only: nothing is ever written through this connection.
std::shared_ptr<Backend> openBackend(const std::string& dataSource, const std::string& password, bool readOnly);

// Throws db::Error when the library that opens files cannot be used at all.
void probeFileBackend();

} // namespace db
