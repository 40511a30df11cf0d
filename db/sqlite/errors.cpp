// SQLite's failures as db::Error: the number and the text the user reads, naming the file and table, and
// the layer's transaction state brought in line with SQLite's first.
#include "db/sqlite/engine_parts.h"

namespace db::sqlite {

namespace {

// What SQLite says when it cannot read a schema entry: a newer feature, or damage.
bool schemaUnreadable(const std::string& message) {
    return message.rfind("malformed database schema", 0) == 0 || message == "unsupported file format";
}

} // namespace

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

} // namespace db::sqlite
