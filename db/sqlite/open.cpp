// Opening a database file: recognising it, choosing the library, the key, the first read that tells a
// wrong password from a damaged or too new file, and the settings every connection gets.
#include "db/sqlite/cipher_key.h"
#include "db/sqlite/engine_parts.h"
#include "db/sqlite/file_registry.h"
#include <sys/stat.h>

namespace db::sqlite {

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
    if (m_workBesideFile) // the folder is the library's, for every connection: back to its own choice
        m_api->exec(m_db.get(), "PRAGMA temp_store_directory = ''", nullptr, nullptr, nullptr);
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
        const auto lock = lockFileRegistry();
        const FileId id{st.st_dev, st.st_ino};
        if (const OpenFile* known = findOpenFile(id)) {
            fileClass = known->fileClass;
            api = known->api;
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
    if (encrypted) {
        const std::string key = cipherKey(*api, engine->m_db.get(), password);
        api->key(engine->m_db.get(), key.data(), static_cast<int>(key.size()));
    }
    engine->checkReadable();
    engine->configure();
    return engine;
}

std::shared_ptr<Engine> Engine::create(const std::string& path, const std::string& password, bool unsynced) {
    FileClass fileClass;
    fileClass.kind = password.empty() ? FileKind::Sqlite : FileKind::LooksEncrypted;
    const sqlite::Api* api = password.empty() ? &sqlite::plainFileLibrary() : &sqlite::cipherLibrary();
    std::shared_ptr<FileClaim> claim;
    sqlite::DatabasePtr db;
    {
        const auto lock = lockFileRegistry();
        struct stat st {};
        const bool existed = ::stat(path.c_str(), &st) == 0;
        if (const OpenFile* known = existed ? findOpenFile(FileId{st.st_dev, st.st_ino}) : nullptr) {
            api = known->api;
            fileClass = known->fileClass;
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
    if (unsynced) {
        engine->exec("PRAGMA synchronous = OFF");
        engine->exec("PRAGMA journal_mode = OFF");
    }
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
    // The file is read in order and its new table written once: a small cache does, and keeps memory low.
    exec("PRAGMA cache_size = -16384");
    // Sorts and statement journals of an encrypted file stay in memory: SQLite would write them to
    // temporary files unencrypted. (Its work tables go to a file encrypted with a key of their own.)
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

} // namespace db::sqlite
