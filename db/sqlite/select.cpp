// SELECT: the rows a record set reads (a snapshot, or a window onto the table read block by block), and
// SELECT ... INTO, the copy into a new table (in the file, or a work table outside it).
#include "db/sqlite/engine_parts.h"
#include "db/sqlite/record_sources.h"
#include "db/types.h"
#include <algorithm>

namespace db::sqlite {

namespace {

// The ORDER BY of a dialect order, rows equal in it in rowid order; without one, the stored order. NULLS
// LAST is spelt out, as SQLite before 3.30 lacks it.
std::string orderClause(const TableInfo& t, const std::vector<dialect::OrderBy>& order) {
    std::string text;
    bool rowidAmongThem = false;
    for (const dialect::OrderBy& o : order) {
        const int i = t.columnIndex(o.column);
        if (i < 0)
            noSuchColumn(o.column, t.name);
        const std::string column = t.columnSql(i);
        text += text.empty() ? " ORDER BY " : ", ";
        if (o.nullsLast)
            text += column + " IS NULL, ";
        text += column + (o.descending ? " DESC" : "");
        rowidAmongThem = rowidAmongThem || i == t.rowidAlias;
    }
    if (!t.rowid.empty() && !rowidAmongThem)
        text += (text.empty() ? " ORDER BY " : ", ") + t.rowid;
    return text;
}

} // namespace

std::shared_ptr<RecordSource> Engine::query(const dialect::Select& select, int cursorType) {
    const dialect::Select* s = &select;
    commitPending();
    TableInfo t = describe(s->table);
    WorkTable* work = workTable(t);
    if (work && !work->gone.empty()) {
        applyRecordedDeletes(*work);
        commitPending();
        t = describe(s->table); // a borrowed table is a real copy now
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
    const std::string selectList = joinRead(t, indexes);

    std::string condition;
    if (s->where) {
        const int i = t.columnIndex(s->where->column);
        if (i < 0)
            noSuchColumn(s->where->column, t.name);
        condition = t.columnSql(i) + " = ?1";
    }
    const std::string order = orderClause(t, s->orderBy);

    // Anything but a snapshot reads in rowid order, block by block, when the table allows it. So does a
    // snapshot of a work table: nothing but this connection can change it, and the layer copies what the
    // snapshot has left to give before it changes the table itself.
    const bool rowidOrder = s->orderBy.empty() || (s->orderBy.size() == 1 && !s->orderBy[0].descending &&
                                                   t.columnIndex(s->orderBy[0].column) == t.rowidAlias);
    if ((cursorType != adOpenStatic || work) && !t.rowid.empty() && rowidOrder) {
        TableWindow window;
        window.columns = std::move(fields);
        for (int i : indexes)
            window.columnSql.push_back(t.columnSql(i));
        window.table = t.name;
        window.from = t.qualified();
        window.rowid = t.rowid;
        window.condition = condition;
        if (s->where)
            window.conditionValue = s->where->value;
        window.snapshot = cursorType == adOpenStatic;
        if (work && work->gone.empty() && !s->where)
            window.rowCount = work->rowCount; // rows read in place: counted once while they cannot change
        if (!work && !s->where && m_written && equalNoCase(m_written->table, t.name) &&
            m_api->totalChanges(m_db.get()) == m_written->changes && dataVersion() == m_written->dataVersion)
            window.rowCount = m_written->rows;
        auto source = makeLazySource(shared_from_this(), std::move(window));
        if (work && cursorType == adOpenStatic)
            work->snapshots.push_back(source);
        return source;
    }

    std::string text = "SELECT " + selectList + " FROM " + t.qualified();
    if (!condition.empty())
        text += " WHERE " + condition;
    text += order;
    auto stmt = prepare(text, t.name);
    if (s->where)
        sqlite::bindValue(*m_api, stmt.get(), 1, s->where->value);
    return makeSnapshotSource(*this, std::move(fields), stmt.get(), t.name);
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
    if (work && s.columns.empty() && !s.where && s.orderBy.empty() && borrowRows(t, target))
        return;
    TableInfo made;
    made.name = target;
    if (work)
        made = makeWorkTable(target);

    // The new table keeps each column's declared type; keys and constraints are not copied, so an
    // auto-numbered source column becomes a plain integer column. In a work table it stays the rowid, so
    // that a delete by it is a rowid look-up and the copy keeps its rows in the same order. A work table
    // also keeps each column's collating sequence: its keys and orders must compare as the source's do.
    std::string create = "CREATE TABLE " + made.qualified() + " (";
    for (std::size_t k = 0; k < indexes.size(); ++k) {
        const auto idx = indexes[k];
        const ColumnDef& c = t.columns[static_cast<std::size_t>(idx)];
        if (k)
            create += ", ";
        create += quoteIdentifier(c.name) +
                  (idx == t.rowidAlias ? std::string(work ? " INTEGER PRIMARY KEY" : " INTEGER")
                                       : typeClause(c.declaredType) + (work ? collateClause(c) : std::string()));
    }
    // A STRICT source stays STRICT: its ANY columns would otherwise turn text such as '007' into numbers.
    create += t.strict ? ") STRICT" : ")";

    std::string insert = "INSERT INTO " + made.qualified() + " (" + joinQuoted(t, indexes) + ") SELECT " +
                         joinRead(t, indexes) + " FROM " + t.qualified();
    std::vector<std::string> conditions;
    if (s.where) {
        const int i = t.columnIndex(s.where->column);
        if (i < 0)
            noSuchColumn(s.where->column, t.name);
        conditions.push_back(t.columnSql(i) + " = ?1");
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
    insert += orderClause(t, s.orderBy); // without an order the copy keeps the stored order

    long long written = 0;
    try {
        Transaction tx(*this);
        // The rows of a work table never reach the file, but a failing or full disk or another program's
        // lock must stop the work here as they would a copy into the file: the commit writes the file's
        // header.
        if (work)
            touchFile();
        if (from)
            ensureBorrowedUnchanged(*from);
        exec(create, target);
        written = m_api->totalChanges(m_db.get());
        {
            auto stmt = prepare(insert, t.name);
            if (s.where)
                sqlite::bindValue(*m_api, stmt.get(), 1, s.where->value);
            const int rc = m_api->step(stmt.get());
            if (rc != SQLITE_DONE)
                raise(rc, target);
            written = m_api->totalChanges(m_db.get()) - written;
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
    if (!work) // counted as written: a later read of the whole table, with nothing changed, need not count
        m_written = WrittenRows{target, written, m_api->totalChanges(m_db.get()), dataVersion()};
}

} // namespace db::sqlite
