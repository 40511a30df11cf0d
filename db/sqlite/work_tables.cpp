// Work tables: tables the caller makes, works on and drops on one connection, kept in a database of their
// own outside the file (a temporary file; for an encrypted file one encrypted with a key of the run's own),
// with deletes by rowid recorded and left out when the table is next read.
#include "db/sqlite/cipher_key.h"
#include "db/sqlite/engine_parts.h"
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace db::sqlite {

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

// The folder SQLite keeps its temporary files in, found as SQLite finds it.
std::string temporaryFolder() {
    const char* const candidates[] = {std::getenv("SQLITE_TMPDIR"), std::getenv("TMPDIR"), "/var/tmp", "/usr/tmp",
                                      "/tmp"};
    for (const char* candidate : candidates) {
        struct stat st {};
        if (candidate && *candidate && ::stat(candidate, &st) == 0 && S_ISDIR(st.st_mode) &&
            ::access(candidate, W_OK | X_OK) == 0)
            return candidate;
    }
    return ".";
}

// 32 random bytes, written as SQLCipher takes a raw key (x'...': no key derivation).
std::string randomRawKey() {
    unsigned char key[32];
    std::size_t got = 0;
    while (got < sizeof key) {
        const ssize_t n = ::getrandom(key + got, sizeof key - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error(err::EngineError, "No random key could be made for the run's work table.");
        }
        got += static_cast<std::size_t>(n);
    }
    return rawKeyText(key, sizeof key);
}

// An empty file in `folder` that only this user can read.
std::string newPrivateFile(const std::string& folder) {
    std::string path = folder + "/rowsifter-work-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        throw Error(err::DiskFull, "The work table cannot be made in the folder '" + folder + "'.");
    ::close(fd);
    return path;
}

} // namespace

// Attaches an empty database for a work table's rows under `schemaName`.
void Engine::attachWorkDatabase(const std::string& schemaName) {
    const std::string schema = quoteIdentifier(schemaName);
    // '' is a temporary file SQLite deletes itself (a killed process leaves nothing). An encrypted file's
    // work goes to a file of its own, encrypted with a random key that lives only in this process; its name
    // is removed as soon as the file is open, so the file goes with the process, and nothing unencrypted
    // reaches the disk.
    const bool encrypted = mayBeEncrypted(m_fileClass.kind);
    if (encrypted) {
        const std::string file = newPrivateFile(m_workBesideFile ? fileFolderSpace().folder : temporaryFolder());
        try {
            auto attach = prepare("ATTACH DATABASE ?1 AS " + schema + " KEY ?2");
            sqlite::bindValue(*m_api, attach.get(), 1, Value(file));
            sqlite::bindValue(*m_api, attach.get(), 2, Value(randomRawKey()));
            const int rc = m_api->step(attach.get());
            if (rc != SQLITE_DONE)
                raise(rc);
        } catch (...) {
            ::unlink(file.c_str());
            throw;
        }
        ::unlink(file.c_str());
    } else {
        exec("ATTACH DATABASE '' AS " + schema);
    }
    try {
        // Large pages: fewer of them to split while the copy fills the table and to walk when it is read
        // (and, encrypted, fewer to encrypt). An encrypted work file keeps its journal in memory: it has no
        // name left to put one beside.
        exec("PRAGMA " + schema + (encrypted ? ".cipher_page_size = 65536" : ".page_size = 65536"));
        if (encrypted)
            exec("PRAGMA " + schema + ".journal_mode = MEMORY");
        exec("PRAGMA " + schema + ".cache_size = -" + std::to_string(kWorkCacheKiB));
        exec("PRAGMA " + schema + ".secure_delete = OFF");
    } catch (...) {
        const std::string detach = "DETACH DATABASE " + schema;
        m_api->exec(m_db.get(), detach.c_str(), nullptr, nullptr, nullptr);
        throw;
    }
}

void Engine::ensureKeptFunction() {
    if (m_keptFunction)
        return;
    const auto function =
        m_api == &sqlite::cipherLibrary() ? &keptFunction<sqlite::cipherLibrary> : &keptFunction<systemLibraryRef>;
    const int rc =
        m_api->createFunctionV2(m_db.get(), kKeptFunction, 2, SQLITE_UTF8, this, function, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        raise(rc);
    m_keptFunction = true;
}

TableInfo Engine::makeWorkTable(const std::string& name) {
    commitPending();
    ensureKeptFunction();
    auto w = std::make_unique<WorkTable>();
    w->name = name;
    w->number = static_cast<int>(m_work.size()) + 1;
    w->schema = kWorkSchemaPrefix + std::to_string(w->number);
    attachWorkDatabase(w->schema);
    m_work.push_back(std::move(w));
    TableInfo t;
    t.name = name;
    t.schema = m_work.back()->schema;
    return t;
}

// A copy of a whole table of the file as a work table, without copying: the work table is the table's own
// rows, read in place and in stored order. What reads it sees what a copy would hold; a change to it, or to
// the table, makes the real copy first (materialize).
bool Engine::borrowRows(const TableInfo& source, const std::string& target) {
    if (source.work() || source.isView || source.rowid.empty())
        return false;
    for (const ColumnDef& c : source.columns)
        if (c.generated)
            return false; // a copy holds their values as plain columns
    commitPending();
    ensureKeptFunction();
    auto w = std::make_unique<WorkTable>();
    w->name = target;
    w->number = static_cast<int>(m_work.size()) + 1;
    w->schema = kWorkSchemaPrefix + std::to_string(w->number);
    w->attached = false;
    w->source = source.name;
    // A copy would write the file's header as it ends: a lock, a full or a failing disk stops the work here.
    Transaction tx(*this);
    touchFile();
    tx.commit();
    // From here on the rows must stay as they are: a change by another program shows in the file's data
    // version, and the reads that copy the rows (materialize, SELECT ... INTO) then fail rather than mix
    // the rows the run read with the changed ones. (A read transaction held open would keep the rows
    // instead, but also any other program from taking the file for as long as the run lasts.)
    w->dataVersion = dataVersion();
    m_work.push_back(std::move(w));
    schemaChanged();
    return true;
}

// Makes a borrowed work table a real copy of the rows it reads, with the same rowids (recorded deletes
// name them) and its numbering column, if any, as the rowid.
void Engine::materialize(WorkTable& w) {
    if (w.source.empty())
        return;
    if (m_heldTransaction)
        throw Error(err::EngineError, "The work table '" + w.name + "' cannot be changed inside a transaction.");
    const TableInfo t = describe(w.name);
    freezeSnapshots(w);
    commitPending();
    attachWorkDatabase(w.schema);
    try {
        TableInfo made;
        made.name = w.name;
        made.schema = w.schema;
        std::string create = "CREATE TABLE " + made.qualified() + " (", names, reads;
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            const ColumnDef& c = t.columns[i];
            const bool alias = static_cast<int>(i) == t.rowidAlias;
            create += (i ? ", " : "") + quoteIdentifier(c.name) +
                      (alias ? std::string(" INTEGER PRIMARY KEY") : typeClause(c.declaredType) + collateClause(c));
            names += (i ? ", " : "") + quoteIdentifier(c.name);
            reads += (i ? ", " : "") + t.columnSql(static_cast<int>(i));
        }
        create += t.strict ? ") STRICT" : ")";
        if (t.rowidAlias < 0) {
            names += ", " + t.rowid;
            reads += ", " + t.rowid;
        }
        Transaction tx(*this);
        ensureBorrowedUnchanged(w);
        exec(create, w.name);
        exec("INSERT INTO " + made.qualified() + " (" + names + ") SELECT " + reads + " FROM " + t.qualified() +
                 " ORDER BY " + t.rowid,
             w.name);
        tx.commit();
    } catch (...) {
        const std::string detach = "DETACH DATABASE " + quoteIdentifier(w.schema);
        m_api->exec(m_db.get(), detach.c_str(), nullptr, nullptr, nullptr);
        throw;
    }
    w.attached = true;
    w.source.clear();
    w.numberColumn.clear();
    w.rowCount.reset();
    schemaChanged();
}

long long Engine::dataVersion() {
    auto stmt = prepare("PRAGMA main.data_version");
    const int rc = m_api->step(stmt.get());
    if (rc != SQLITE_ROW)
        raise(rc);
    return m_api->columnInt64(stmt.get(), 0);
}

// Inside the transaction that copies a borrowed work table's rows: they must be the rows the run read.
void Engine::ensureBorrowedUnchanged(const WorkTable& w) {
    if (!w.source.empty() && dataVersion() != w.dataVersion)
        throw Error(err::EngineError, "The table '" + w.source + "' in the database file '" + m_path +
                                          "' was changed by another program while it was read.");
}

// Before a table of the file changes, the work tables that read its rows in place are made real copies.
void Engine::materializeBorrowersOf(const std::string& table) {
    for (const auto& w : m_work)
        if (!w->dropped && !w->source.empty() && equalNoCase(w->source, table))
            materialize(*w);
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
    materialize(w);
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

FreeSpace Engine::workTableSpace() const {
    FreeSpace space;
    space.folder = temporaryFolder();
    struct statvfs fs {};
    if (::statvfs(space.folder.c_str(), &fs) == 0)
        space.bytes = static_cast<long long>(fs.f_bavail) * static_cast<long long>(fs.f_frsize);
    return space;
}

FreeSpace Engine::fileFolderSpace() const {
    FreeSpace space;
    const auto slash = m_path.find_last_of('/');
    space.folder = slash == std::string::npos ? "." : slash == 0 ? "/" : m_path.substr(0, slash);
    struct statvfs fs {};
    if (::statvfs(space.folder.c_str(), &fs) == 0)
        space.bytes = static_cast<long long>(fs.f_bavail) * static_cast<long long>(fs.f_frsize);
    return space;
}

void Engine::keepWorkBesideFile() {
    if (m_workBesideFile)
        return;
    if (mayBeEncrypted(m_fileClass.kind)) {
        m_workBesideFile = true; // its work file is made there (attachWorkDatabase)
        return;
    }
    // A work database's file is opened when its pages first spill, so the folder stays set while this
    // connection lives.
    std::string folder = fileFolderSpace().folder;
    for (std::size_t at = 0; (at = folder.find('\'', at)) != std::string::npos; at += 2)
        folder.insert(at, 1, '\'');
    exec("PRAGMA temp_store_directory = '" + folder + "'");
    m_workBesideFile = true;
}

} // namespace db::sqlite
