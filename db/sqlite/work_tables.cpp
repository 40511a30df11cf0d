// Work tables: tables the caller makes, works on and drops on one connection, kept in a database of their
// own outside the file (a temporary file, in memory for an encrypted file), with deletes by rowid recorded
// and left out when the table is next read.
#include "db/sqlite/engine_parts.h"
#include <algorithm>
#include <cstdlib>
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
    if (mayBeEncrypted(m_fileClass.kind) || m_workBesideFile)
        return;
    // A work database's file is opened when its pages first spill, so the folder stays set while this
    // connection lives.
    std::string folder = fileFolderSpace().folder;
    for (std::size_t at = 0; (at = folder.find('\'', at)) != std::string::npos; at += 2)
        folder.insert(at, 1, '\'');
    exec("PRAGMA temp_store_directory = '" + folder + "'");
    m_workBesideFile = true;
}

} // namespace db::sqlite
