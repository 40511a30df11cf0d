// ALTER TABLE ... ADD ... LONG, a plain integer column, and UPDATE by one column's value: prepared once per
// shape, the row found through the rowid or an index as a delete's is.
#include "db/sqlite/engine_parts.h"

namespace db::sqlite {

void Engine::addColumn(const dialect::AddColumn& a) {
    TableInfo t = tableForNewColumn(a.table, a.column);
    // The rows a work table reads in place are never changed: it becomes a real copy first, as does any
    // work table that reads this table's rows.
    if (WorkTable* w = workTable(t); w && !w->source.empty()) {
        materialize(*w);
        t = describe(a.table);
    } else if (!t.work()) {
        materializeBorrowersOf(t.name);
    }
    if (WorkTable* w = workTable(t)) {
        applyRecordedDeletes(*w);
        freezeSnapshots(*w);
    }
    Transaction tx(*this);
    exec("ALTER TABLE " + t.qualified() + " ADD COLUMN " + quoteIdentifier(a.column) + " INTEGER", t.name);
    tx.commit();
    schemaChanged();
}

Engine::DeleteTarget& Engine::updateStatement(const dialect::Update& u) {
    if (m_deletesStale) {
        m_deletes.clear();
        m_deletesStale = false;
    }
    // Kept beside the deletes' statements, under a key no table name can make.
    std::string key = std::string(1, '\0') + "update" + '\0' + u.table;
    for (const dialect::Condition& c : u.set)
        key += '\0' + c.column;
    key += '\0' + u.where.column;
    if (auto it = m_deletes.find(key); it != m_deletes.end())
        return it->second;

    const TableInfo t = describe(u.table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view: its rows cannot be changed.");
    std::string sql = "UPDATE " + t.qualified() + " SET ";
    for (std::size_t k = 0; k < u.set.size(); ++k) {
        const int i = t.columnIndex(u.set[k].column);
        if (i < 0)
            noSuchColumn(u.set[k].column, t.name);
        sql += (k ? ", " : "") + quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name) + " = ?" +
               std::to_string(k + 1);
    }
    const std::string target = lookupColumn(t, u.where.column);
    DeleteTarget made;
    made.stmt = prepare(sql + " WHERE " + target + " = ?" + std::to_string(u.set.size() + 1), t.name);
    made.work = workTable(t);
    return m_deletes.emplace(std::move(key), std::move(made)).first->second;
}

void Engine::updateRows(const dialect::Update& u) {
    // As for a delete: rows read in place are never changed.
    materializeBorrowersOf(u.table);
    for (const auto& w : m_work)
        if (!w->dropped && !w->source.empty() && equalNoCase(w->name, u.table))
            materialize(*w);
    // Batched as deletes are; a work table's update writes the file as one there would.
    const bool fresh = !m_heldTransaction && !m_batchOpen;
    beginBatch();
    DeleteTarget& target = updateStatement(u);
    if (target.work) {
        if (fresh)
            touchFile();
        freezeSnapshots(*target.work);
    }
    sqlite3_stmt* stmt = target.stmt.get();
    sqlite::ResetOnExit reset(*m_api, stmt);
    for (std::size_t k = 0; k < u.set.size(); ++k)
        sqlite::bindValue(*m_api, stmt, static_cast<int>(k + 1), u.set[k].value);
    sqlite::bindValue(*m_api, stmt, static_cast<int>(u.set.size() + 1), u.where.value);
    const int rc = m_api->step(stmt);
    if (rc != SQLITE_DONE)
        raise(rc, u.table);
}

} // namespace db::sqlite
