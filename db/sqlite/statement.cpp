// Preparing and stepping SQLite statements on the open file, and plain SQLite scripts (the sample maker,
// the tests and the Access copy).
#include "db/sqlite/engine_parts.h"

namespace db::sqlite {

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
    m_written.reset(); // the script may have changed anything
}

} // namespace db::sqlite
