// Transactions: the caller's own, the batch that groups consecutive deletes, and the check that a first
// change could be written.
#include "db/sqlite/engine_parts.h"

namespace db::sqlite {

void Engine::rollbackIfOpen() {
    if (!m_api->getAutocommit(m_db.get()))
        m_api->exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    m_batchOpen = false;
    m_written.reset(); // an undone change leaves the connection's count of changes as it was
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
    m_written.reset();
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
        m_written.reset();
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

} // namespace db::sqlite
