#include "db/engine.h"
#include "db/ascii.h"
#include "db/error.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace db {

std::shared_ptr<RecordSource> makeSnapshotSource(Engine& engine, std::vector<Field> columns, sqlite3_stmt* stmt,
                                                 const std::string& table);
std::shared_ptr<RecordSource> makeLazySource(std::shared_ptr<Engine> engine, std::vector<Field> columns,
                                             std::vector<std::string> columnSql, std::string table, std::string from,
                                             std::string rowid, std::string condition,
                                             std::optional<Value> conditionValue, bool snapshot);

namespace {

constexpr int kBusyTimeoutMs = 2000;
constexpr const char* kInternalPrefix = "rowsifter_internal_";
constexpr const char* kWorkSchemaPrefix = "rowsifter_work_";
constexpr const char* kKeptFunction = "rowsifter_kept";
constexpr int kWorkCacheKiB = 16384;        // the work table is read in rowid order: a small cache does
constexpr int kTableXinfoVersion = 3026000; // PRAGMA table_xinfo, legacy_alter_table
constexpr int kTableListVersion = 3037000;  // PRAGMA table_list, STRICT tables

using ascii::equalNoCase;
using ascii::startsWithNoCase;

// A declared type goes back into a CREATE TABLE as written when it is plain type text; anything stranger
// is quoted so that it can only ever be read as a type name.
std::string typeClause(const std::string& declared) {
    if (declared.empty())
        return {};
    for (char c : declared) {
        const auto u = static_cast<unsigned char>(c);
        if (!(ascii::isAlnum(u) || c == ' ' || c == '(' || c == ')' || c == ',' || c == '_' || c == '+' || c == '-' ||
              c == '.'))
            return " " + quoteIdentifier(declared);
    }
    return " " + declared;
}

std::string joinQuoted(const TableInfo& t, const std::vector<int>& indexes) {
    std::string out;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (i)
            out += ", ";
        out += quoteIdentifier(t.columns[static_cast<std::size_t>(indexes[i])].name);
    }
    return out;
}

[[noreturn]] void noSuchColumn(const std::string& column, const std::string& table) {
    throw Error(err::NoSuchColumn, "Field '" + column + "' not found in table '" + table + "'.");
}

bool mayBeEncrypted(FileKind kind) {
    return kind == FileKind::MaybeEncrypted || kind == FileKind::LooksEncrypted;
}

// What SQLite says when it cannot read a schema entry: a newer feature, or damage.
bool schemaUnreadable(const std::string& message) {
    return message.rfind("malformed database schema", 0) == 0 || message == "unsupported file format";
}

// Shadow tables of the virtual-table modules SQLite ships, by module: they hold a virtual table's data and
// are never the user's own tables.
bool shadowOf(std::string_view module, std::string_view suffix) {
    static const std::pair<std::string_view, std::string_view> kShadows[] = {
        {"fts3", "content"},     {"fts3", "segments"}, {"fts3", "segdir"},    {"fts3", "docsize"},
        {"fts3", "stat"},        {"fts4", "content"},  {"fts4", "segments"},  {"fts4", "segdir"},
        {"fts4", "docsize"},     {"fts4", "stat"},     {"fts5", "data"},      {"fts5", "idx"},
        {"fts5", "content"},     {"fts5", "docsize"},  {"fts5", "config"},    {"rtree", "node"},
        {"rtree", "rowid"},      {"rtree", "parent"},  {"rtree_i32", "node"}, {"rtree_i32", "rowid"},
        {"rtree_i32", "parent"}, {"geopoly", "node"},  {"geopoly", "rowid"},  {"geopoly", "parent"},
    };
    for (const auto& [m, s] : kShadows)
        if (equalNoCase(m, module) && equalNoCase(s, suffix))
            return true;
    return false;
}

// The module a CREATE VIRTUAL TABLE statement names; empty for any other statement.
std::string virtualModule(std::string_view sql) {
    std::size_t i = 0;
    // The next word, punctuation character, or quoted name with its quotes.
    auto token = [&]() -> std::string_view {
        while (i < sql.size() && ascii::isSpace(static_cast<unsigned char>(sql[i])))
            ++i;
        const std::size_t start = i;
        if (i == sql.size())
            return {};
        const char open = sql[i];
        if (open == '"' || open == '`' || open == '[' || open == '\'') {
            const char close = open == '[' ? ']' : open;
            for (++i; i < sql.size(); ++i)
                if (sql[i] == close) {
                    if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
                        ++i; // a doubled quote inside the name
                        continue;
                    }
                    ++i;
                    break;
                }
        } else if (open == '.' || open == '(') {
            ++i;
        } else {
            while (i < sql.size() && !ascii::isSpace(static_cast<unsigned char>(sql[i])) && sql[i] != '(' &&
                   sql[i] != '.')
                ++i;
        }
        return sql.substr(start, i - start);
    };
    if (!equalNoCase(token(), "CREATE") || !equalNoCase(token(), "VIRTUAL") || !equalNoCase(token(), "TABLE"))
        return {};
    std::string_view next = token();
    if (equalNoCase(next, "IF")) { // IF NOT EXISTS
        token();
        token();
        next = token();
    }
    next = token(); // after the name: USING, or '.' of a schema-qualified name
    if (next == ".") {
        token();
        next = token();
    }
    const std::string_view module = equalNoCase(next, "USING") ? token() : std::string_view();
    return module.empty() ? "?" : std::string(module); // "?": some module, whose shadow tables are unknown
}

// Which library holds each file this process has open. A file is opened through one library at a time:
// two libraries keep separate lock tables and would not see each other's locks. And a file's first bytes
// are read only while the process holds no connection to it: closing any descriptor of a file drops every
// POSIX lock the process holds on it.
struct OpenFile {
    const sqlite::Api* api = nullptr;
    FileClass fileClass;
    int users = 0;
};
using FileId = std::pair<dev_t, ino_t>;
std::mutex g_filesMutex;
std::map<FileId, OpenFile> g_files;

std::string readHead(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(err::ReadOnly, "The database file '" + path + "' cannot be read (no permission).");
    std::string head(kFileHeadBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

} // namespace

class Engine::FileClaim {
public:
    // Call with g_filesMutex held.
    FileClaim(FileId id, const sqlite::Api& api, const FileClass& fileClass) : m_id(id) {
        OpenFile& f = g_files[id];
        if (f.users++ == 0) {
            f.api = &api;
            f.fileClass = fileClass;
        }
    }
    ~FileClaim() {
        std::lock_guard lock(g_filesMutex);
        if (auto it = g_files.find(m_id); it != g_files.end() && --it->second.users == 0)
            g_files.erase(it);
    }
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;

private:
    FileId m_id;
};

std::string TableInfo::qualified() const {
    return work() ? quoteIdentifier(schema) + "." + quoteIdentifier(name) : quoteIdentifier(name);
}

// A work table: the database it lives in, and the deletes recorded against it.
struct Engine::WorkTable {
    std::string name;
    std::string schema;
    int number = 0;
    bool dropped = false; // gone for every statement; its database is let go at the next chance
    bool attached = true;
    std::vector<std::int64_t> gone; // rowids whose delete is recorded
    std::size_t cursor = 0;         // where the last look-up in `gone` ended: the copy asks in rowid order
    std::vector<std::weak_ptr<RecordSource>> snapshots;
};

int TableInfo::columnIndex(std::string_view columnName) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (equalNoCase(columns[i].name, columnName))
            return static_cast<int>(i);
    return -1;
}

// One schema change: pending deletes are committed first, and the change is committed as a whole or
// rolled back, so a failure or a killed process never leaves half of it behind.
class Engine::Transaction {
public:
    // Inside a transaction the caller holds open, the change is a savepoint of it: it is undone alone
    // when it fails, and committed only with the rest.
    explicit Transaction(Engine& engine) : m_engine(engine), m_nested(engine.m_heldTransaction) {
        m_engine.commitPending();
        m_engine.exec(m_nested ? "SAVEPOINT rowsifter_change" : "BEGIN IMMEDIATE");
    }
    ~Transaction() {
        if (m_done)
            return;
        if (m_nested) {
            m_engine.m_api->exec(m_engine.m_db.get(), "ROLLBACK TO rowsifter_change; RELEASE rowsifter_change", nullptr,
                                 nullptr, nullptr);
            m_engine.followAutocommit();
        } else {
            m_engine.rollbackIfOpen();
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        m_engine.exec(m_nested ? "RELEASE rowsifter_change" : "COMMIT");
        m_done = true;
    }

private:
    Engine& m_engine;
    bool m_nested;
    bool m_done = false;
};

Engine::Engine(std::string path, const sqlite::Api& api, sqlite::DatabasePtr db, std::shared_ptr<FileClaim> claim,
               FileClass fileClass)
    : m_path(std::move(path)), m_api(&api), m_claim(std::move(claim)), m_db(std::move(db)),
      m_fileClass(std::move(fileClass)) {}

Engine::~Engine() {
    m_deletes.clear();
    // A transaction the caller held open and never committed is undone, as on any connection that closes.
    if (m_heldTransaction) {
        m_api->exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    if (m_batchOpen && m_api->exec(m_db.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        rollbackIfOpen();
}

void Engine::rollbackIfOpen() {
    if (!m_api->getAutocommit(m_db.get()))
        m_api->exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    m_batchOpen = false;
}

bool Engine::hasVersion(int versionNumber) const {
    return m_api->libversionNumber() >= versionNumber;
}

std::shared_ptr<Engine> Engine::open(const std::string& path, const std::string& password, bool readOnly) {
    if (path.empty())
        throw Error(err::FileNotFound, "No database file was named.");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw Error(err::FileNotFound, "The database file '" + path + "' does not exist.");
    if (S_ISDIR(st.st_mode))
        throw Error(err::NotADatabase, "'" + path + "' is a folder, not a database file.");
    if (!S_ISREG(st.st_mode))
        throw Error(err::NotADatabase, "'" + path + "' is not a database file.");

    std::shared_ptr<FileClaim> claim;
    FileClass fileClass;
    const sqlite::Api* api = nullptr;
    {
        std::lock_guard lock(g_filesMutex);
        const FileId id{st.st_dev, st.st_ino};
        if (auto it = g_files.find(id); it != g_files.end()) {
            fileClass = it->second.fileClass;
            api = it->second.api;
        } else {
            fileClass = classifyFile(readHead(path), static_cast<std::uint64_t>(st.st_size));
        }
        switch (fileClass.kind) {
        case FileKind::Access:
            // A real Access file is recognised by its own header and left alone: it is never handed to SQLite.
            throw Error(err::AccessFile, "'" + path +
                                             "' is a Microsoft Access database file, which this program cannot "
                                             "open. Convert or export it to an SQLite database, then open that file.");
        case FileKind::Other:
            throw Error(err::NotADatabase, "The file '" + path + "' is not a database: it is " + fileClass.what + ".");
        case FileKind::NoFormat:
            throw Error(err::NotADatabase, "The file '" + path +
                                               "' is not a database: its content is in no format "
                                               "this program reads.");
        case FileKind::Empty:
        case FileKind::Sqlite:
            // A plain file opened with a password: the password is ignored, as the Access engine does.
            if (!api)
                api = &sqlite::plainFileLibrary();
            break;
        case FileKind::MaybeEncrypted:
        case FileKind::LooksEncrypted:
            if (password.empty() && fileClass.kind == FileKind::LooksEncrypted)
                throw Error(err::WrongPassword, "The database file '" + path +
                                                    "' is protected by a password. Enter its password and try "
                                                    "again.");
            if (password.empty())
                throw Error(err::WrongPassword, "The file '" + path +
                                                    "' is either a database protected by a password or not a "
                                                    "database at all. If it is a database, enter its password and "
                                                    "try again.");
            if (!api)
                api = &sqlite::cipherLibrary();
            break;
        }
        claim = std::make_shared<FileClaim>(id, *api, fileClass);
    }

    const bool encrypted = mayBeEncrypted(fileClass.kind);
    std::shared_ptr<Engine> engine(
        new Engine(path, *api, openHandle(*api, path, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE),
                   std::move(claim), fileClass));
    if (encrypted)
        api->key(engine->m_db.get(), password.data(), static_cast<int>(password.size()));
    engine->checkReadable();
    engine->configure();
    return engine;
}

std::shared_ptr<Engine> Engine::create(const std::string& path, const std::string& password) {
    FileClass fileClass;
    fileClass.kind = password.empty() ? FileKind::Sqlite : FileKind::LooksEncrypted;
    const sqlite::Api* api = password.empty() ? &sqlite::plainFileLibrary() : &sqlite::cipherLibrary();
    std::shared_ptr<FileClaim> claim;
    sqlite::DatabasePtr db;
    {
        std::lock_guard lock(g_filesMutex);
        struct stat st {};
        const bool existed = ::stat(path.c_str(), &st) == 0;
        if (auto it = existed ? g_files.find(FileId{st.st_dev, st.st_ino}) : g_files.end(); it != g_files.end()) {
            api = it->second.api;
            fileClass = it->second.fileClass;
        }
        db = openHandle(*api, path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        // SQLite has made the file by now; ":memory:" and "" name none.
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            claim = std::make_shared<FileClaim>(FileId{st.st_dev, st.st_ino}, *api, fileClass);
    }
    std::shared_ptr<Engine> engine(new Engine(path, *api, std::move(db), std::move(claim), fileClass));
    if (mayBeEncrypted(fileClass.kind))
        api->key(engine->m_db.get(), password.data(), static_cast<int>(password.size()));
    engine->configure();
    // Writing the header now makes even an empty database a recognisable file.
    engine->exec("PRAGMA user_version = 1");
    return engine;
}

sqlite::DatabasePtr Engine::openHandle(const sqlite::Api& api, const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    // A connection is used by one thread at a time: no mutex taken on every call.
    const int rc = api.openV2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite::DatabasePtr db(raw, sqlite::CloseDatabase{&api});
    if (rc != SQLITE_OK) {
        const bool creating = (flags & SQLITE_OPEN_CREATE) != 0;
        throw Error(err::FileNotFound, "The database file '" + path + "' cannot be " +
                                           (creating ? "created" : "opened") + ": " +
                                           (raw ? api.errmsg(raw) : api.errstr(rc)) + ".");
    }
    api.busyTimeout(db.get(), kBusyTimeoutMs);
    return db;
}

void Engine::configure() {
    exec("PRAGMA cache_size = -65536");
    // Sorts, statement journals and work tables of an encrypted file stay in memory: SQLite would write
    // them to temporary files unencrypted.
    if (mayBeEncrypted(m_fileClass.kind))
        exec("PRAGMA temp_store = MEMORY");
    // Renaming a rebuilt table to its old name must not re-check every view and trigger of the file, as
    // newer versions do by default: one broken view elsewhere in the file would make it fail.
    if (hasVersion(kTableXinfoVersion))
        exec("PRAGMA legacy_alter_table = ON");
}

// The first read of the schema tells a wrong password, a damaged file and a file too new for the library.
void Engine::checkReadable() {
    auto [rc, probe] = tryPrepare("SELECT count(*) FROM sqlite_master");
    if (rc == SQLITE_OK)
        rc = m_api->step(probe.get());
    if (rc == SQLITE_ROW)
        return;
    if ((rc & 0xFF) == SQLITE_NOTADB && mayBeEncrypted(m_fileClass.kind)) {
        if (m_fileClass.kind == FileKind::MaybeEncrypted)
            throw Error(err::WrongPassword, "Not a valid password for the database file '" + m_path +
                                                "', or the file is not a database at all: its content is in no "
                                                "format this program reads.");
        throw Error(err::WrongPassword, "Not a valid password for the database file '" + m_path +
                                            "'. If the password is right, the file may come from a newer "
                                            "SQLCipher version than this program reads (it reads SQLCipher 3 "
                                            "files).");
    }
    if ((rc & 0xFF) == SQLITE_NOTADB)
        throw Error(err::NotADatabase, "The file '" + m_path + "' is not a database, or it is damaged.");
    raise(rc);
}

void Engine::raiseNewerFeature(const std::string& detail) const {
    std::string text = "The database file '" + m_path + "' uses a feature of a newer SQLite version than the SQLite " +
                       m_api->libversion() + " this program has: ";
    // "malformed database schema (name) - near "STRICT": syntax error" names the entry it could not read.
    const std::string prefix = "malformed database schema (";
    const std::size_t close = detail.find(") - ");
    if (detail.rfind(prefix, 0) == 0 && close != std::string::npos)
        text += "the definition of '" + detail.substr(prefix.size(), close - prefix.size()) + "' cannot be read (" +
                detail.substr(close + 4) + ").";
    else
        text += detail + ".";
    if (m_fileClass.writerVersion > static_cast<std::uint32_t>(m_api->libversionNumber()))
        text += " The file was last written by SQLite " + sqliteVersionText(m_fileClass.writerVersion) + ".";
    if (m_api == &sqlite::cipherLibrary() && !mayBeEncrypted(m_fileClass.kind))
        text += std::string(" The newer SQLite library this program reads such files with (") +
                sqlite::kSystemLibraryName + ", package " + sqlite::kSystemLibraryPackage +
                ") is missing or cannot be loaded (" + sqlite::systemLibraryError() + ").";
    throw Error(err::NotADatabase, text);
}

void Engine::raise(int rc, const std::string& table) {
    const std::string message = m_api->errmsg(m_db.get());
    // SQLite rolls an open transaction back by itself after some failures (a full disk, an I/O error).
    if (m_heldTransaction && m_api->getAutocommit(m_db.get())) {
        m_heldTransaction = false; // its changes are gone; the caller's commit will say so
        m_deletesStale = true;
    }
    const bool batchLost = m_batchOpen && m_api->getAutocommit(m_db.get());
    if (batchLost) {
        m_batchOpen = false;
        m_deletesStale = true; // an index made in the lost batch is gone with it
    }
    const std::string lost = batchLost ? " The deletions not yet saved were undone." : "";
    const std::string file = "the database file '" + m_path + "'";
    const std::string where = table.empty() ? file : "table '" + table + "' in " + file;
    const int primary = rc & 0xFF;
    if ((primary == SQLITE_CORRUPT || primary == SQLITE_ERROR) && schemaUnreadable(message) &&
        (m_fileClass.writerVersion > static_cast<std::uint32_t>(m_api->libversionNumber()) ||
         message == "unsupported file format"))
        raiseNewerFeature(message);
    switch (primary) {
    case SQLITE_BUSY:
        throw Error(err::FileLocked, "The database file '" + m_path +
                                         "' is in use by another program. Close it there and try again." + lost);
    case SQLITE_FULL:
        throw Error(err::DiskFull, "Not enough disk space to write " + where + ": the disk is full." + lost);
    case SQLITE_NOMEM:
        throw Error(err::DiskFull, "Not enough memory to work on " + where + "." + lost);
    case SQLITE_READONLY:
        throw Error(err::ReadOnly, "The database file '" + m_path + "' cannot be written (it is read-only)." + lost);
    case SQLITE_IOERR:
        throw Error(err::EngineError,
                    "The disk reported an error while reading or writing " + where + " (" + message + ")." + lost);
    case SQLITE_NOTADB:
        throw Error(err::NotADatabase, "The file '" + m_path + "' is not a database, or it is damaged.");
    case SQLITE_CORRUPT:
        throw Error(err::EngineError, "The database file '" + m_path + "' is damaged (" + message + ")." + lost);
    case SQLITE_LOCKED:
        throw Error(err::EngineError, "The " + where + " is in use by an open record set (" + message + ")." + lost);
    default:
        throw Error(err::EngineError, message + " (" + where + ")." + lost);
    }
}

sqlite::StatementPtr Engine::prepare(const std::string& sql, const std::string& table) {
    auto [rc, stmt] = tryPrepare(sql);
    if (rc != SQLITE_OK)
        raise(rc, table);
    return std::move(stmt);
}

std::pair<int, sqlite::StatementPtr> Engine::tryPrepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    const int rc = m_api->prepareV2(m_db.get(), sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    return {rc, sqlite::StatementPtr(stmt, sqlite::FinalizeStatement{m_api})};
}

void Engine::exec(const std::string& sql, const std::string& table) {
    auto stmt = prepare(sql, table);
    int rc;
    while ((rc = m_api->step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        raise(rc, table);
}

void Engine::runScript(const std::string& sql) {
    commitPending();
    char* message = nullptr;
    const int rc = m_api->exec(m_db.get(), sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string text = message ? message : m_api->errstr(rc);
        m_api->free(message);
        throw Error(err::EngineError, text + " (the database file '" + m_path + "').");
    }
    schemaChanged();
}

void Engine::ensureWritable() {
    commitPending();
    if (m_api->dbReadonly(m_db.get(), "main") == 1)
        throw Error(err::ReadOnly, "The database file '" + m_path + "' cannot be written (it is read-only).");
    // A change that is undone at once: it takes the write lock and makes the journal beside the file, as
    // the first real change would, and leaves the file as it was.
    if (m_heldTransaction)
        return;
    exec("BEGIN IMMEDIATE");
    try {
        exec(std::string("CREATE TABLE ") + kInternalPrefix + "write_check (x)");
    } catch (const Error&) {
        rollbackIfOpen();
        throw;
    }
    rollbackIfOpen();
}

long long Engine::tableBytes(const std::string& table) {
    commitPending();
    auto [rc, stmt] = tryPrepare("SELECT sum(payload) FROM dbstat WHERE name = ?1 COLLATE NOCASE");
    if (rc != SQLITE_OK)
        return -1; // built without the dbstat table
    sqlite::bindValue(*m_api, stmt.get(), 1, Value(table));
    if (m_api->step(stmt.get()) != SQLITE_ROW || m_api->columnType(stmt.get(), 0) == SQLITE_NULL)
        return -1;
    return m_api->columnInt64(stmt.get(), 0);
}

FreeSpace Engine::workTableSpace() const {
    FreeSpace space;
    if (mayBeEncrypted(m_fileClass.kind))
        return space; // an encrypted file's work tables stay in memory
    // The folder SQLite keeps its temporary files in, found as SQLite finds it.
    const char* const candidates[] = {std::getenv("SQLITE_TMPDIR"), std::getenv("TMPDIR"), "/var/tmp", "/usr/tmp",
                                      "/tmp"};
    for (const char* candidate : candidates) {
        struct stat st {};
        if (candidate && *candidate && ::stat(candidate, &st) == 0 && S_ISDIR(st.st_mode) &&
            ::access(candidate, W_OK | X_OK) == 0) {
            space.folder = candidate;
            break;
        }
    }
    if (space.folder.empty())
        space.folder = ".";
    struct statvfs fs {};
    if (::statvfs(space.folder.c_str(), &fs) == 0)
        space.bytes = static_cast<long long>(fs.f_bavail) * static_cast<long long>(fs.f_frsize);
    return space;
}

void Engine::beginTransaction() {
    if (m_heldTransaction)
        throw Error(err::EngineError, "A transaction is already open on the database file '" + m_path + "'.");
    commitPending();
    exec("BEGIN IMMEDIATE");
    m_heldTransaction = true;
}

void Engine::commitTransaction() {
    if (!m_heldTransaction)
        throw Error(err::EngineError, "No transaction is open on the database file '" + m_path + "'.");
    try {
        exec("COMMIT");
    } catch (const Error&) {
        followAutocommit();
        throw;
    }
    m_heldTransaction = false;
    detachDropped();
}

void Engine::rollbackTransaction() {
    if (m_heldTransaction) {
        rollbackIfOpen();
        m_deletesStale = true; // an index made inside it is gone with it
    }
    m_heldTransaction = false;
    detachDropped();
}

// SQLite ends a transaction by itself on some failures (a full disk, an I/O error): what the layer believes
// must follow, or later statements would run outside any transaction.
void Engine::followAutocommit() {
    if (m_api->getAutocommit(m_db.get())) {
        m_heldTransaction = false;
        m_batchOpen = false;
    }
}

void Engine::beginBatch() {
    if (m_heldTransaction)
        return; // the deletes are part of the held transaction
    if (!m_batchOpen) {
        exec("BEGIN IMMEDIATE");
        m_batchOpen = true;
    }
}

void Engine::commitPending() {
    if (m_batchOpen && !m_heldTransaction) {
        exec("COMMIT");
        m_batchOpen = false;
    }
    detachDropped();
}

void Engine::schemaChanged() {
    m_deletes.clear();
}

bool Engine::objectExists(const std::string& name) {
    for (const auto& w : m_work)
        if (!w->dropped && equalNoCase(w->name, name))
            return true;
    auto stmt = prepare("SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE");
    sqlite::bindValue(*m_api, stmt.get(), 1, Value(name));
    const int rc = m_api->step(stmt.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        raise(rc, name);
    return rc == SQLITE_ROW;
}

TableInfo Engine::describe(const std::string& table) {
    TableInfo info;
    {
        auto stmt = prepare("SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view') AND "
                            "name = ?1 COLLATE NOCASE");
        sqlite::bindValue(*m_api, stmt.get(), 1, Value(table));
        const int rc = m_api->step(stmt.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            raise(rc, table);
        if (rc == SQLITE_ROW) {
            info.isView = sqlite::columnString(*m_api, stmt.get(), 0) == "view";
            info.name = sqlite::columnString(*m_api, stmt.get(), 1);
        } else {
            // Not in the file: one of this connection's work tables, or nothing.
            for (const auto& w : m_work)
                if (!w->dropped && equalNoCase(w->name, table)) {
                    info.name = w->name;
                    info.schema = w->schema;
                }
            if (info.name.empty())
                throw Error(err::NoSuchTable,
                            "Table '" + table + "' does not exist in the database file '" + m_path + "'.");
        }
    }
    {
        // table_xinfo also lists generated columns, which SELECT * returns; hidden columns of virtual
        // tables (hidden = 1) are left out as SELECT * leaves them out.
        const bool extended = hasVersion(kTableXinfoVersion);
        const std::string pragma = info.work() ? "PRAGMA " + quoteIdentifier(info.schema) + "." : "PRAGMA ";
        auto stmt =
            prepare(pragma + (extended ? "table_xinfo(" : "table_info(") + quoteIdentifier(info.name) + ")", info.name);
        int rc;
        while ((rc = m_api->step(stmt.get())) == SQLITE_ROW) {
            const int hidden = extended ? m_api->columnInt(stmt.get(), 6) : 0;
            if (hidden == 1)
                continue;
            ColumnDef c;
            c.name = sqlite::columnString(*m_api, stmt.get(), 1);
            c.declaredType = sqlite::columnString(*m_api, stmt.get(), 2);
            c.notNull = m_api->columnInt(stmt.get(), 3) != 0;
            if (m_api->columnType(stmt.get(), 4) != SQLITE_NULL)
                c.defaultSql = sqlite::columnString(*m_api, stmt.get(), 4);
            c.primaryKeyIndex = m_api->columnInt(stmt.get(), 5);
            c.generated = hidden >= 2;
            info.columns.push_back(std::move(c));
        }
        if (rc != SQLITE_DONE)
            raise(rc, info.name);
    }
    if (info.isView)
        return info;
    if (hasVersion(kTableListVersion)) {
        auto stmt = prepare("SELECT strict FROM pragma_table_list WHERE schema = ?2 AND name = ?1", info.name);
        sqlite::bindValue(*m_api, stmt.get(), 1, Value(info.name));
        sqlite::bindValue(*m_api, stmt.get(), 2, Value(info.schema));
        const int rc = m_api->step(stmt.get());
        if (rc == SQLITE_ROW)
            info.strict = m_api->columnInt(stmt.get(), 0) != 0;
        else if (rc != SQLITE_DONE)
            raise(rc, info.name);
    }

    // The rowid under a name no column hides; a WITHOUT ROWID table has none.
    bool withoutRowid = false;
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (info.columnIndex(candidate) >= 0)
            continue;
        const auto [rc, probe] =
            tryPrepare(std::string("SELECT ") + candidate + " FROM " + info.qualified() + " LIMIT 0");
        if (rc == SQLITE_OK)
            info.rowid = candidate;
        else
            withoutRowid = true;
        break;
    }
    int keyColumns = 0, keyIndex = -1;
    for (std::size_t i = 0; i < info.columns.size(); ++i)
        if (info.columns[i].primaryKeyIndex > 0) {
            ++keyColumns;
            keyIndex = static_cast<int>(i);
        }
    if (keyColumns == 1 && !withoutRowid &&
        ascii::upper(info.columns[static_cast<std::size_t>(keyIndex)].declaredType) == "INTEGER") {
        info.rowidAlias = keyIndex;
        if (info.rowid.empty())
            info.rowid = quoteIdentifier(info.columns[static_cast<std::size_t>(keyIndex)].name);
    }
    return info;
}

void Engine::execute(const dialect::Statement& statement) {
    if (const auto* s = std::get_if<dialect::Select>(&statement)) {
        if (s->into)
            selectInto(*s);
        else
            query(*s, adOpenForwardOnly); // checks names; the rows are not wanted
    } else if (const auto* a = std::get_if<dialect::AddIdentity>(&statement)) {
        addIdentity(*a);
    } else if (const auto* d = std::get_if<dialect::Delete>(&statement)) {
        deleteRows(*d);
    } else {
        dropTable(std::get<dialect::DropTable>(statement));
    }
}

std::shared_ptr<RecordSource> Engine::query(const dialect::Select& select, int cursorType) {
    const dialect::Select* s = &select;
    commitPending();
    const TableInfo t = describe(s->table);
    WorkTable* work = workTable(t);
    if (work && !work->gone.empty()) {
        applyRecordedDeletes(*work);
        commitPending();
    }

    std::vector<int> indexes;
    if (s->columns.empty()) {
        for (std::size_t i = 0; i < t.columns.size(); ++i)
            indexes.push_back(static_cast<int>(i));
    } else {
        for (const auto& c : s->columns) {
            const int i = t.columnIndex(c);
            if (i < 0)
                noSuchColumn(c, t.name);
            indexes.push_back(i);
        }
    }
    std::vector<Field> fields;
    for (int i : indexes) {
        Field f;
        f.Name = t.columns[static_cast<std::size_t>(i)].name;
        f.Type =
            i == t.rowidAlias ? adInteger : dataTypeFromDeclared(t.columns[static_cast<std::size_t>(i)].declaredType);
        fields.push_back(std::move(f));
    }
    const std::string selectList = joinQuoted(t, indexes);

    std::string condition;
    if (s->where) {
        const int i = t.columnIndex(s->where->column);
        if (i < 0)
            noSuchColumn(s->where->column, t.name);
        condition = quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name) + " = ?1";
    }
    int orderIndex = -1;
    if (s->orderBy) {
        orderIndex = t.columnIndex(s->orderBy->column);
        if (orderIndex < 0)
            noSuchColumn(s->orderBy->column, t.name);
    }

    // Anything but a snapshot reads in rowid order, block by block, when the table allows it. So does a
    // snapshot of a work table: nothing but this connection can change it, and the layer copies what the
    // snapshot has left to give before it changes the table itself.
    const bool rowidOrder = !s->orderBy || (orderIndex == t.rowidAlias && !s->orderBy->descending);
    if ((cursorType != adOpenStatic || work) && !t.rowid.empty() && rowidOrder) {
        std::optional<Value> value;
        if (s->where)
            value = s->where->value;
        std::vector<std::string> columnSql;
        for (int i : indexes)
            columnSql.push_back(quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name));
        auto source = makeLazySource(shared_from_this(), std::move(fields), std::move(columnSql), t.name, t.qualified(),
                                     t.rowid, condition, value, cursorType == adOpenStatic);
        if (work && cursorType == adOpenStatic)
            work->snapshots.push_back(source);
        return source;
    }

    std::string text = "SELECT " + selectList + " FROM " + t.qualified();
    if (!condition.empty())
        text += " WHERE " + condition;
    if (s->orderBy) {
        text += " ORDER BY " + quoteIdentifier(t.columns[static_cast<std::size_t>(orderIndex)].name) +
                (s->orderBy->descending ? " DESC" : "");
        if (!t.rowid.empty() && orderIndex != t.rowidAlias)
            text += ", " + t.rowid; // ties keep stored order
    } else if (!t.rowid.empty()) {
        text += " ORDER BY " + t.rowid;
    }
    auto stmt = prepare(text, t.name);
    if (s->where)
        sqlite::bindValue(*m_api, stmt.get(), 1, s->where->value);
    return makeSnapshotSource(*this, std::move(fields), stmt.get(), t.name);
}

std::shared_ptr<RecordSource> Engine::schemaTables() {
    commitPending();
    std::vector<Field> columns;
    for (const char* name : {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE", "DESCRIPTION"}) {
        Field f;
        f.Name = name;
        f.Type = adVarWChar;
        columns.push_back(std::move(f));
    }
    std::vector<std::vector<Value>> rows;
    auto addRow = [&](std::string name, std::string type) {
        rows.push_back({Value(), Value(), Value(std::move(name)), Value(std::move(type)), Value()});
    };
    addRow("sqlite_master", "SYSTEM TABLE");
    struct Entry {
        std::string type, name, module;
    };
    std::vector<Entry> entries;
    {
        auto stmt = prepare("SELECT type, name, sql FROM sqlite_master WHERE type IN ('table', 'view') ORDER BY rowid");
        int rc;
        while ((rc = m_api->step(stmt.get())) == SQLITE_ROW)
            entries.push_back({sqlite::columnString(*m_api, stmt.get(), 0), sqlite::columnString(*m_api, stmt.get(), 1),
                               virtualModule(sqlite::columnString(*m_api, stmt.get(), 2))});
        if (rc != SQLITE_DONE)
            raise(rc);
    }
    // Only tables the program can copy and delete from are "TABLE". Virtual tables (their module may be
    // missing, and they take no new column) and the shadow tables that hold their data are listed as
    // system tables, as SQLite's own and the program's own are.
    auto isShadow = [&](const std::string& name) {
        for (const Entry& v : entries)
            if (!v.module.empty() && name.size() > v.name.size() + 1 && name[v.name.size()] == '_' &&
                startsWithNoCase(name, v.name) && shadowOf(v.module, std::string_view(name).substr(v.name.size() + 1)))
                return true;
        return false;
    };
    for (const Entry& e : entries) {
        if (e.type == "view")
            addRow(e.name, "VIEW");
        else if (startsWithNoCase(e.name, "sqlite_") || startsWithNoCase(e.name, kInternalPrefix) ||
                 !e.module.empty() || isShadow(e.name))
            addRow(e.name, "SYSTEM TABLE");
        else
            addRow(e.name, "TABLE");
    }
    return makeMemorySource(std::move(columns), std::move(rows));
}

void Engine::selectInto(const dialect::Select& s) {
    const TableInfo t = describe(s.table);
    const std::string& target = *s.into;
    if (objectExists(target))
        throw Error(err::TableExists, "Table '" + target + "' already exists in the database file '" + m_path + "'.");

    std::vector<int> indexes;
    if (s.columns.empty()) {
        for (std::size_t i = 0; i < t.columns.size(); ++i)
            indexes.push_back(static_cast<int>(i));
    } else {
        for (const auto& c : s.columns) {
            const int i = t.columnIndex(c);
            if (i < 0)
                noSuchColumn(c, t.name);
            for (int j : indexes)
                if (j == i)
                    throw Error(err::SyntaxError, "Field '" + t.columns[static_cast<std::size_t>(i)].name +
                                                      "' is named twice for the new table '" + target + "'.");
            indexes.push_back(i);
        }
    }

    // A work table is made outside the file (ATTACH cannot run inside a transaction, so not while the
    // caller holds one open).
    const bool work = declaredWork(target) && !m_heldTransaction;
    TableInfo made;
    made.name = target;
    if (work)
        made = makeWorkTable(target);

    // The new table keeps each column's declared type; keys and constraints are not copied, so an
    // auto-numbered source column becomes a plain integer column. In a work table it stays the rowid, so
    // that a delete by it is a rowid look-up and the copy keeps its rows in the same order.
    std::string create = "CREATE TABLE " + made.qualified() + " (";
    for (std::size_t k = 0; k < indexes.size(); ++k) {
        const auto idx = indexes[k];
        const ColumnDef& c = t.columns[static_cast<std::size_t>(idx)];
        if (k)
            create += ", ";
        create +=
            quoteIdentifier(c.name) + (idx == t.rowidAlias ? std::string(work ? " INTEGER PRIMARY KEY" : " INTEGER")
                                                           : typeClause(c.declaredType));
    }
    // A STRICT source stays STRICT: its ANY columns would otherwise turn text such as '007' into numbers.
    create += t.strict ? ") STRICT" : ")";

    const std::string list = joinQuoted(t, indexes);
    std::string insert =
        "INSERT INTO " + made.qualified() + " (" + list + ") SELECT " + list + " FROM " + t.qualified();
    std::vector<std::string> conditions;
    if (s.where) {
        const int i = t.columnIndex(s.where->column);
        if (i < 0)
            noSuchColumn(s.where->column, t.name);
        conditions.push_back(quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name) + " = ?1");
    }
    // Rows whose delete is recorded are left out as they are read.
    WorkTable* from = workTable(t);
    if (from && !from->gone.empty()) {
        std::sort(from->gone.begin(), from->gone.end());
        from->gone.erase(std::unique(from->gone.begin(), from->gone.end()), from->gone.end());
        from->cursor = 0;
        conditions.push_back(std::string(kKeptFunction) + "(" + std::to_string(from->number) + ", " + t.rowid + ")");
    }
    for (std::size_t k = 0; k < conditions.size(); ++k)
        insert += (k ? " AND " : " WHERE ") + conditions[k];
    if (s.orderBy) {
        const int i = t.columnIndex(s.orderBy->column);
        if (i < 0)
            noSuchColumn(s.orderBy->column, t.name);
        insert += " ORDER BY " + quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name) +
                  (s.orderBy->descending ? " DESC" : "");
        if (!t.rowid.empty())
            insert += ", " + t.rowid;
    } else if (!t.rowid.empty()) {
        insert += " ORDER BY " + t.rowid; // the copy keeps the stored order
    }

    try {
        Transaction tx(*this);
        // The rows of a work table never reach the file, but a failing or full disk or another program's
        // lock must stop the work here as they would a copy into the file: the commit writes the file's
        // header.
        if (work)
            touchFile();
        exec(create, target);
        {
            auto stmt = prepare(insert, t.name);
            if (s.where)
                sqlite::bindValue(*m_api, stmt.get(), 1, s.where->value);
            const int rc = m_api->step(stmt.get());
            if (rc != SQLITE_DONE)
                raise(rc, target);
        }
        tx.commit();
    } catch (...) {
        if (work) {
            m_work.back()->dropped = true;
            detachDropped();
        }
        throw;
    }
    schemaChanged();
}

namespace {

// rowsifter_kept(work table, rowid): 0 for a row whose delete is recorded. One per library: a context is
// read only by the library that made it.
template <const sqlite::Api& (*library)()>
void keptFunction(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
    const sqlite::Api& api = library();
    auto* engine = static_cast<Engine*>(api.userData(context));
    const bool gone = engine->recordedGone(static_cast<std::size_t>(api.valueInt64(argv[0])), api.valueInt64(argv[1]));
    api.resultInt(context, gone ? 0 : 1);
}

const sqlite::Api& systemLibraryRef() {
    return *sqlite::loadedSystemLibrary();
}

} // namespace

TableInfo Engine::makeWorkTable(const std::string& name) {
    commitPending();
    auto w = std::make_unique<WorkTable>();
    w->name = name;
    w->number = static_cast<int>(m_work.size()) + 1;
    w->schema = kWorkSchemaPrefix + std::to_string(w->number);
    const std::string schema = quoteIdentifier(w->schema);
    // '' is a temporary file SQLite deletes itself (a killed process leaves nothing); an encrypted file's
    // work stays in memory, unencrypted there only.
    exec(mayBeEncrypted(m_fileClass.kind) ? "ATTACH DATABASE ':memory:' AS " + schema + " KEY ''"
                                          : "ATTACH DATABASE '' AS " + schema);
    m_work.push_back(std::move(w));
    try {
        // Large pages: fewer of them to split while the copy fills the table, and to walk when it is read.
        exec("PRAGMA " + schema + ".page_size = 65536");
        exec("PRAGMA " + schema + ".cache_size = -" + std::to_string(kWorkCacheKiB));
        exec("PRAGMA " + schema + ".secure_delete = OFF");
        if (!m_keptFunction) {
            const auto function = m_api == &sqlite::cipherLibrary() ? &keptFunction<sqlite::cipherLibrary>
                                                                    : &keptFunction<systemLibraryRef>;
            const int rc = m_api->createFunctionV2(m_db.get(), kKeptFunction, 2, SQLITE_UTF8, this, function, nullptr,
                                                   nullptr, nullptr);
            if (rc != SQLITE_OK)
                raise(rc, name);
            m_keptFunction = true;
        }
    } catch (...) {
        m_work.back()->dropped = true;
        detachDropped();
        throw;
    }
    TableInfo t;
    t.name = name;
    t.schema = m_work.back()->schema;
    return t;
}

void Engine::declareWorkTable(const std::string& name) {
    if (!declaredWork(name))
        m_declaredWork.push_back(name);
}

bool Engine::declaredWork(std::string_view name) const {
    for (const auto& n : m_declaredWork)
        if (equalNoCase(n, name))
            return true;
    return false;
}

Engine::WorkTable* Engine::workTable(const TableInfo& t) {
    if (!t.work())
        return nullptr;
    for (const auto& w : m_work)
        if (!w->dropped && w->schema == t.schema)
            return w.get();
    return nullptr;
}

// Rewrites the file's header as it is. The file changes in nothing but its change counter, and the write
// meets whatever a real change would meet.
void Engine::touchFile() {
    auto stmt = prepare("PRAGMA main.user_version");
    const int rc = m_api->step(stmt.get());
    if (rc != SQLITE_ROW)
        raise(rc);
    const long long version = m_api->columnInt64(stmt.get(), 0);
    stmt.reset();
    exec("PRAGMA main.user_version = " + std::to_string(version));
}

void Engine::freezeSnapshots(WorkTable& w) {
    for (const auto& weak : w.snapshots)
        if (auto snapshot = weak.lock())
            snapshot->freeze();
    w.snapshots.clear();
}

void Engine::applyRecordedDeletes(WorkTable& w) {
    if (w.gone.empty())
        return;
    freezeSnapshots(w);
    beginBatch();
    auto stmt = prepare(
        "DELETE FROM " + quoteIdentifier(w.schema) + "." + quoteIdentifier(w.name) + " WHERE rowid = ?1", w.name);
    for (const std::int64_t rowid : w.gone) {
        sqlite::ResetOnExit reset(*m_api, stmt.get());
        m_api->bindInt64(stmt.get(), 1, rowid);
        const int rc = m_api->step(stmt.get());
        if (rc != SQLITE_DONE)
            raise(rc, w.name);
    }
    w.gone.clear();
}

// Work databases of dropped work tables are let go as soon as no transaction holds them.
void Engine::detachDropped() {
    if (!m_api->getAutocommit(m_db.get()))
        return;
    for (const auto& w : m_work)
        if (w->dropped && w->attached) {
            const std::string sql = "DETACH DATABASE " + quoteIdentifier(w->schema);
            if (m_api->exec(m_db.get(), sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
                w->attached = false;
        }
}

bool Engine::recordedGone(std::size_t number, std::int64_t rowid) {
    if (number < 1 || number > m_work.size())
        return false;
    WorkTable& w = *m_work[number - 1];
    const auto& gone = w.gone;
    if (w.cursor > 0 && w.cursor <= gone.size() && gone[w.cursor - 1] >= rowid)
        w.cursor = 0; // asked out of order: search from the start
    while (w.cursor < gone.size() && gone[w.cursor] < rowid)
        ++w.cursor;
    return w.cursor < gone.size() && gone[w.cursor] == rowid;
}

void Engine::addIdentity(const dialect::AddIdentity& a) {
    const TableInfo t = describe(a.table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view: no column can be added to it.");
    if (t.columnIndex(a.column) >= 0)
        throw Error(err::EngineError, "Field '" + a.column + "' already exists in table '" + t.name + "'.");
    if (WorkTable* w = workTable(t)) {
        applyRecordedDeletes(*w);
        freezeSnapshots(*w);
    }
    const std::string table = t.qualified();
    const std::string column = quoteIdentifier(a.column);
    const std::string schema = t.work() ? quoteIdentifier(t.schema) + "." : std::string();

    bool generated = false;
    for (const ColumnDef& c : t.columns)
        generated = generated || c.generated;

    Transaction tx(*this);
    if (t.rowidAlias >= 0 || (generated && !t.rowid.empty())) {
        // The table already has its own rowid column (or generated columns, which a rebuild from the
        // column list would turn into plain ones), so the numbers go into a plain column, looked up
        // through a temporary map from rowid to position.
        const std::string map = std::string("temp.") + kInternalPrefix + "numbering";
        exec("ALTER TABLE " + table + " ADD COLUMN " + column + " INTEGER", t.name);
        exec("DROP TABLE IF EXISTS " + map);
        exec("CREATE TABLE " + map + " (n INTEGER PRIMARY KEY, r INTEGER UNIQUE)");
        exec("INSERT INTO " + map + " (r) SELECT " + t.rowid + " FROM " + table + " ORDER BY " + t.rowid, t.name);
        exec("UPDATE " + table + " SET " + column + " = (SELECT n FROM " + map + " WHERE r = " + table + "." + t.rowid +
                 ")",
             t.name);
        exec("DROP TABLE " + map);
    } else {
        // Rebuild with the new column as the rowid: numbering is then the insertion itself, and a delete
        // by the new column is a rowid lookup.
        std::string rebuilt = std::string(kInternalPrefix) + "rebuild";
        for (int n = 2; objectExists(rebuilt); ++n)
            rebuilt = std::string(kInternalPrefix) + "rebuild" + std::to_string(n);
        std::vector<std::string> keep; // indexes and triggers of the table, made again afterwards
        {
            auto stmt = prepare("SELECT sql FROM " + schema +
                                    "sqlite_master WHERE type IN ('index', 'trigger') AND "
                                    "tbl_name = ?1 COLLATE NOCASE AND sql IS NOT NULL ORDER BY rowid",
                                t.name);
            sqlite::bindValue(*m_api, stmt.get(), 1, Value(t.name));
            int rc;
            while ((rc = m_api->step(stmt.get())) == SQLITE_ROW)
                keep.push_back(sqlite::columnString(*m_api, stmt.get(), 0));
            if (rc != SQLITE_DONE)
                raise(rc, t.name);
        }
        std::string create = "CREATE TABLE " + schema + quoteIdentifier(rebuilt) + " (";
        std::string list, key;
        for (const ColumnDef& c : t.columns) {
            create += quoteIdentifier(c.name) + typeClause(c.declaredType);
            if (c.notNull)
                create += " NOT NULL";
            if (c.defaultSql)
                create += " DEFAULT " + *c.defaultSql;
            create += ", ";
            list += (list.empty() ? "" : ", ") + quoteIdentifier(c.name);
        }
        for (int k = 1;; ++k) {
            bool found = false;
            for (const ColumnDef& c : t.columns)
                if (c.primaryKeyIndex == k) {
                    key += (key.empty() ? "" : ", ") + quoteIdentifier(c.name);
                    found = true;
                }
            if (!found)
                break;
        }
        create += column + " INTEGER PRIMARY KEY";
        if (!key.empty())
            create += ", UNIQUE (" + key + ")"; // a former primary key stays unique
        create += t.strict ? ") STRICT" : ")";
        exec(create, t.name);
        exec("INSERT INTO " + schema + quoteIdentifier(rebuilt) + " (" + list + ") SELECT " + list + " FROM " + table +
                 (t.rowid.empty() ? "" : " ORDER BY " + t.rowid),
             t.name);
        exec("DROP TABLE " + table, t.name);
        exec("ALTER TABLE " + schema + quoteIdentifier(rebuilt) + " RENAME TO " + quoteIdentifier(t.name), t.name);
        for (const auto& sql : keep)
            exec(sql, t.name);
    }
    tx.commit();
    schemaChanged();
}

void Engine::dropTable(const dialect::DropTable& d) {
    // A work table lives outside the file: dropping it needs nothing of the file, not even a look at its
    // catalogue (another program may hold the file).
    for (const auto& w : m_work) {
        if (!w->dropped && equalNoCase(w->name, d.table)) {
            freezeSnapshots(*w);
            w->dropped = true;
            w->gone.clear();
            schemaChanged();
            detachDropped();
            return;
        }
    }
    const TableInfo t = describe(d.table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view, not a table: DROP TABLE does not remove it.");
    Transaction tx(*this);
    exec("DROP TABLE " + quoteIdentifier(t.name), t.name);
    tx.commit();
    schemaChanged();
}

void Engine::ensureIndex(const TableInfo& table, const ColumnDef& column) {
    const std::string schema = table.work() ? quoteIdentifier(table.schema) + "." : std::string();
    auto list = prepare("PRAGMA " + schema + "index_list(" + quoteIdentifier(table.name) + ")", table.name);
    std::vector<std::string> names;
    int rc;
    while ((rc = m_api->step(list.get())) == SQLITE_ROW) {
        const bool partial = m_api->columnCount(list.get()) > 4 && m_api->columnInt(list.get(), 4) != 0;
        if (!partial)
            names.push_back(sqlite::columnString(*m_api, list.get(), 1));
    }
    if (rc != SQLITE_DONE)
        raise(rc, table.name);
    for (const auto& name : names) {
        auto info = prepare("PRAGMA " + schema + "index_info(" + quoteIdentifier(name) + ")", table.name);
        if (m_api->step(info.get()) == SQLITE_ROW && m_api->columnType(info.get(), 2) != SQLITE_NULL &&
            equalNoCase(sqlite::columnString(*m_api, info.get(), 2), column.name))
            return;
    }
    std::string name = "rowsifter_idx_" + table.name + "_" + column.name;
    for (int n = 2; objectExists(name); ++n)
        name = "rowsifter_idx_" + table.name + "_" + column.name + "_" + std::to_string(n);
    exec("CREATE INDEX " + schema + quoteIdentifier(name) + " ON " + quoteIdentifier(table.name) + " (" +
             quoteIdentifier(column.name) + ")",
         table.name);
}

Engine::DeleteTarget& Engine::deleteStatement(const dialect::Delete& d) {
    if (m_deletesStale) {
        m_deletes.clear();
        m_deletesStale = false;
    }
    std::string key = d.table;
    key.push_back('\0');
    key += d.where.column;
    if (auto it = m_deletes.find(key); it != m_deletes.end())
        return it->second;

    const TableInfo t = describe(d.table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view: rows cannot be deleted from it.");
    std::string target;
    const int i = t.columnIndex(d.where.column);
    if (i >= 0 && i == t.rowidAlias) {
        target = t.rowid;
    } else if (i >= 0) {
        // Never a scan per delete: make sure the column is indexed (once; the index goes with the table).
        beginBatch();
        ensureIndex(t, t.columns[static_cast<std::size_t>(i)]);
        target = quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name);
    } else if (!t.rowid.empty() && equalNoCase(t.rowid, d.where.column)) {
        target = t.rowid;
    } else {
        noSuchColumn(d.where.column, t.name);
    }
    DeleteTarget made;
    made.stmt = prepare("DELETE FROM " + t.qualified() + " WHERE " + target + " = ?1", t.name);
    made.work = workTable(t);
    made.byRowid = target == t.rowid;
    return m_deletes.emplace(std::move(key), std::move(made)).first->second;
}

void Engine::deleteRows(const dialect::Delete& d) {
    // Consecutive deletes share one transaction; it is committed before anything else reads or changes
    // the schema, and when the connection closes.
    const bool fresh = !m_heldTransaction && !m_batchOpen;
    const bool work = std::any_of(m_work.begin(), m_work.end(),
                                  [&](const auto& w) { return !w->dropped && equalNoCase(w->name, d.table); });
    beginBatch();
    if (work && fresh) {
        // A work table is not in the file, but its deletes write the file as a delete there would: a lock,
        // a full or a failing disk stops the work at the delete that meets it, not later.
        touchFile();
    }
    DeleteTarget& target = deleteStatement(d);
    if (target.work && target.byRowid && d.where.value.isInteger()) {
        // Recorded, not carried out: whatever reads the table next leaves the row out.
        target.work->gone.push_back(d.where.value.asInteger());
        return;
    }
    if (target.work)
        freezeSnapshots(*target.work);
    sqlite3_stmt* stmt = target.stmt.get();
    sqlite::ResetOnExit reset(*m_api, stmt);
    sqlite::bindValue(*m_api, stmt, 1, d.where.value);
    const int rc = m_api->step(stmt);
    if (rc != SQLITE_DONE)
        raise(rc, d.table);
}

std::string Engine::deletePlan(const dialect::Delete& statement) {
    sqlite3_stmt* stmt = deleteStatement(statement).stmt.get();
    auto plan = prepare(std::string("EXPLAIN QUERY PLAN ") + m_api->sql(stmt));
    std::string out;
    while (m_api->step(plan.get()) == SQLITE_ROW)
        out += (out.empty() ? "" : "; ") + sqlite::columnString(*m_api, plan.get(), 3);
    return out;
}

} // namespace db
