// DELETE by one column's value: one prepared statement per table and column, an index made when the column
// has none (never a scan per delete), deletes from a work table by its rowid recorded instead of carried out.
#include "db/sqlite/engine_parts.h"
#include <algorithm>

namespace db::sqlite {

void Engine::deleteRows(const dialect::Delete& d) {
    // A delete from a table whose rows a work table reads in place needs the work table's real copy first.
    materializeBorrowersOf(d.table);
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
    DeleteTarget* target = &deleteStatement(d);
    if (target->work && !target->work->source.empty() && !d.where.value.isInteger()) {
        // Only a delete by its rowid is recorded: any other needs the real copy (the read rows are never
        // changed).
        materialize(*target->work);
        target = &deleteStatement(d);
    }
    if (target->work && target->byRowid && d.where.value.isInteger()) {
        // Recorded, not carried out: whatever reads the table next leaves the row out.
        target->work->gone.push_back(d.where.value.asInteger());
        return;
    }
    if (target->work)
        freezeSnapshots(*target->work);
    sqlite3_stmt* stmt = target->stmt.get();
    sqlite::ResetOnExit reset(*m_api, stmt);
    sqlite::bindValue(*m_api, stmt, 1, d.where.value);
    const int rc = m_api->step(stmt);
    if (rc != SQLITE_DONE)
        raise(rc, d.table);
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
    const int i = t.columnIndex(d.where.column);
    if (WorkTable* w = workTable(t); w && !w->source.empty()) {
        const bool byRowid = i >= 0 ? i == t.rowidAlias : equalNoCase(t.rowid, d.where.column);
        if (!byRowid) {
            materialize(*w); // the rows read in place are never changed
            return deleteStatement(d);
        }
    }
    const std::string target = lookupColumn(t, d.where.column);
    DeleteTarget made;
    made.stmt = prepare("DELETE FROM " + t.qualified() + " WHERE " + target + " = ?1", t.name);
    made.work = workTable(t);
    made.byRowid = target == t.rowid;
    return m_deletes.emplace(std::move(key), std::move(made)).first->second;
}

std::string Engine::lookupColumn(const TableInfo& t, const std::string& column) {
    const int i = t.columnIndex(column);
    if (i >= 0 && i == t.rowidAlias)
        return t.rowid;
    if (i >= 0) {
        // Never a scan per row: make sure the column is indexed (once; the index goes with the table).
        beginBatch();
        ensureIndex(t, t.columns[static_cast<std::size_t>(i)]);
        return quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name);
    }
    if (!t.rowid.empty() && equalNoCase(t.rowid, column))
        return t.rowid;
    noSuchColumn(column, t.name);
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

std::string Engine::deletePlan(const dialect::Delete& statement) {
    sqlite3_stmt* stmt = deleteStatement(statement).stmt.get();
    auto plan = prepare(std::string("EXPLAIN QUERY PLAN ") + m_api->sql(stmt));
    std::string out;
    while (m_api->step(plan.get()) == SQLITE_ROW)
        out += (out.empty() ? "" : "; ") + sqlite::columnString(*m_api, plan.get(), 3);
    return out;
}

} // namespace db::sqlite
