// ALTER TABLE ... ADD ... IDENTITY: a new column numbering the rows 1, 2, 3, ... in stored order.
#include "db/sqlite/engine_parts.h"

namespace db::sqlite {

// Whether the table's rowids run 1, 2, 3, ... in stored order, so that they number its rows. The count is
// the one the rows are then shown with. Each of the three is a query of its own, inside one statement (one
// read of the file): SQLite finds a lone min() or max() of the rowid at an end of the table and counts by
// its pages alone, where the three together would step through every row.
bool Engine::rowidsNumberRows(const TableInfo& t, std::optional<long long>& rows) {
    const std::string from = " FROM " + t.qualified() + ")";
    auto stmt = prepare("SELECT (SELECT min(" + t.rowid + ")" + from + ", (SELECT max(" + t.rowid + ")" + from +
                            ", (SELECT count(*)" + from,
                        t.name);
    const int rc = m_api->step(stmt.get());
    if (rc != SQLITE_ROW)
        raise(rc, t.name);
    const long long count = m_api->columnInt64(stmt.get(), 2);
    rows = count;
    return count == 0 || (m_api->columnInt64(stmt.get(), 0) == 1 && m_api->columnInt64(stmt.get(), 1) == count);
}

// The table a column is to be added to: not a view, and without a column of that name.
TableInfo Engine::tableForNewColumn(const std::string& table, const std::string& column) {
    TableInfo t = describe(table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view: no column can be added to it.");
    if (t.columnIndex(column) >= 0)
        throw Error(err::EngineError, "Field '" + column + "' already exists in table '" + t.name + "'.");
    return t;
}

void Engine::addIdentity(const dialect::AddIdentity& a) {
    TableInfo t = tableForNewColumn(a.table, a.column);
    if (WorkTable* w = workTable(t); w && !w->source.empty()) {
        // Rows read in place are numbered by their rowid when their rowids already are 1, 2, 3, ...
        if (w->gone.empty() && w->numberColumn.empty() && t.rowidAlias < 0 && rowidsNumberRows(t, w->rowCount)) {
            w->numberColumn = a.column;
            schemaChanged();
            return;
        }
        materialize(*w);
        t = describe(a.table);
    } else if (!t.work()) {
        materializeBorrowersOf(t.name);
    }
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
            create += quoteIdentifier(c.name) + typeClause(c.declaredType) + collateClause(c);
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

} // namespace db::sqlite
