// Reading the schema: a table's columns, rowid and strictness, whether a name is taken, the schema rowset
// of tables (virtual tables and their shadow tables as system tables), and a table's size.
#include "db/sqlite/engine_parts.h"
#include "db/types.h"
#include <string_view>

namespace db::sqlite {

namespace {

// Shadow tables of the virtual-table modules SQLite ships, by module: they hold a virtual table's data and
// are never the user's own tables.
bool shadowOf(std::string_view module, std::string_view suffix) {
    static const std::pair<std::string_view, std::string_view> kShadows[] = {
        {"fts3", "content"},     {"fts3", "segments"}, {"fts3", "segdir"},    {"fts3", "docsize"},
        {"fts3", "stat"},        {"fts4", "content"},  {"fts4", "segments"},  {"fts4", "segdir"},
        {"fts4", "docsize"},     {"fts4", "stat"},     {"fts5", "data"},      {"fts5", "idx"},
        {"fts5", "content"},     {"fts5", "docsize"},  {"fts5", "config"},    {"rtree", "node"},
        {"rtree", "rowid"},      {"rtree", "parent"},  {"rtree_i32", "node"}, {"rtree_i32", "rowid"},
        {"rtree_i32", "parent"}, {"geopoly", "node"},  {"geopoly", "rowid"},  {"geopoly", "parent"},
    };
    for (const auto& [m, s] : kShadows)
        if (equalNoCase(m, module) && equalNoCase(s, suffix))
            return true;
    return false;
}

// The module a CREATE VIRTUAL TABLE statement names; empty for any other statement.
std::string virtualModule(std::string_view sql) {
    std::size_t i = 0;
    // The next word, punctuation character, or quoted name with its quotes.
    auto token = [&]() -> std::string_view {
        while (i < sql.size() && ascii::isSpace(static_cast<unsigned char>(sql[i])))
            ++i;
        const std::size_t start = i;
        if (i == sql.size())
            return {};
        const char open = sql[i];
        if (open == '"' || open == '`' || open == '[' || open == '\'') {
            const char close = open == '[' ? ']' : open;
            for (++i; i < sql.size(); ++i)
                if (sql[i] == close) {
                    if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
                        ++i; // a doubled quote inside the name
                        continue;
                    }
                    ++i;
                    break;
                }
        } else if (open == '.' || open == '(') {
            ++i;
        } else {
            while (i < sql.size() && !ascii::isSpace(static_cast<unsigned char>(sql[i])) && sql[i] != '(' &&
                   sql[i] != '.')
                ++i;
        }
        return sql.substr(start, i - start);
    };
    if (!equalNoCase(token(), "CREATE") || !equalNoCase(token(), "VIRTUAL") || !equalNoCase(token(), "TABLE"))
        return {};
    std::string_view next = token();
    if (equalNoCase(next, "IF")) { // IF NOT EXISTS
        token();
        token();
        next = token();
    }
    next = token(); // after the name: USING, or '.' of a schema-qualified name
    if (next == ".") {
        token();
        next = token();
    }
    const std::string_view module = equalNoCase(next, "USING") ? token() : std::string_view();
    return module.empty() ? "?" : std::string(module); // "?": some module, whose shadow tables are unknown
}

} // namespace

std::string TableInfo::qualified() const {
    if (!borrowedFrom.empty())
        return quoteIdentifier(borrowedFrom);
    return work() ? quoteIdentifier(schema) + "." + quoteIdentifier(name) : quoteIdentifier(name);
}

std::string TableInfo::columnSql(int index) const {
    if (numberedByRowid && index == rowidAlias)
        return rowid;
    return quoteIdentifier(columns[static_cast<std::size_t>(index)].name);
}

int TableInfo::columnIndex(std::string_view columnName) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (equalNoCase(columns[i].name, columnName))
            return static_cast<int>(i);
    return -1;
}

bool Engine::objectExists(const std::string& name) {
    for (const auto& w : m_work)
        if (!w->dropped && equalNoCase(w->name, name))
            return true;
    auto stmt = prepare("SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE");
    sqlite::bindValue(*m_api, stmt.get(), 1, Value(name));
    const int rc = m_api->step(stmt.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        raise(rc, name);
    return rc == SQLITE_ROW;
}

// The collating sequence each column declares. Only those every connection has are kept: a copy that named
// another would fail to be made, and this connection could not compare by it anyway.
void Engine::readCollations(TableInfo& info) {
    for (ColumnDef& c : info.columns) {
        if (c.generated)
            continue;
        const char* collation = nullptr;
        const int rc = m_api->tableColumnMetadata(m_db.get(), info.schema.c_str(), info.name.c_str(), c.name.c_str(),
                                                  nullptr, &collation, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            raise(rc, info.name);
        if (collation && (equalNoCase(collation, "NOCASE") || equalNoCase(collation, "RTRIM")))
            c.collation = ascii::upper(collation);
    }
}

TableInfo Engine::describe(const std::string& table) {
    TableInfo info;
    {
        auto stmt = prepare("SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view') AND "
                            "name = ?1 COLLATE NOCASE");
        sqlite::bindValue(*m_api, stmt.get(), 1, Value(table));
        const int rc = m_api->step(stmt.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            raise(rc, table);
        if (rc == SQLITE_ROW) {
            info.isView = sqlite::columnString(*m_api, stmt.get(), 0) == "view";
            info.name = sqlite::columnString(*m_api, stmt.get(), 1);
        } else {
            // Not in the file: one of this connection's work tables, or nothing.
            for (const auto& w : m_work)
                if (!w->dropped && equalNoCase(w->name, table)) {
                    if (!w->source.empty()) {
                        TableInfo borrowed = describe(w->source);
                        borrowed.borrowedFrom = borrowed.name;
                        borrowed.name = w->name;
                        borrowed.schema = w->schema;
                        if (!w->numberColumn.empty()) {
                            ColumnDef number;
                            number.name = w->numberColumn;
                            number.declaredType = "INTEGER";
                            borrowed.columns.push_back(std::move(number));
                            borrowed.rowidAlias = static_cast<int>(borrowed.columns.size()) - 1;
                            borrowed.numberedByRowid = true;
                        }
                        return borrowed;
                    }
                    info.name = w->name;
                    info.schema = w->schema;
                }
            if (info.name.empty())
                throw Error(err::NoSuchTable,
                            "Table '" + table + "' does not exist in the database file '" + m_path + "'.");
        }
    }
    {
        // table_xinfo also lists generated columns, which SELECT * returns; hidden columns of virtual
        // tables (hidden = 1) are left out as SELECT * leaves them out.
        const bool extended = hasVersion(kTableXinfoVersion);
        const std::string pragma = info.work() ? "PRAGMA " + quoteIdentifier(info.schema) + "." : "PRAGMA ";
        auto stmt =
            prepare(pragma + (extended ? "table_xinfo(" : "table_info(") + quoteIdentifier(info.name) + ")", info.name);
        int rc;
        while ((rc = m_api->step(stmt.get())) == SQLITE_ROW) {
            const int hidden = extended ? m_api->columnInt(stmt.get(), 6) : 0;
            if (hidden == 1)
                continue;
            ColumnDef c;
            c.name = sqlite::columnString(*m_api, stmt.get(), 1);
            c.declaredType = sqlite::columnString(*m_api, stmt.get(), 2);
            c.notNull = m_api->columnInt(stmt.get(), 3) != 0;
            if (m_api->columnType(stmt.get(), 4) != SQLITE_NULL)
                c.defaultSql = sqlite::columnString(*m_api, stmt.get(), 4);
            c.primaryKeyIndex = m_api->columnInt(stmt.get(), 5);
            c.generated = hidden >= 2;
            info.columns.push_back(std::move(c));
        }
        if (rc != SQLITE_DONE)
            raise(rc, info.name);
    }
    if (info.isView)
        return info;
    readCollations(info);
    if (hasVersion(kTableListVersion)) {
        auto stmt = prepare("SELECT strict FROM pragma_table_list WHERE schema = ?2 AND name = ?1", info.name);
        sqlite::bindValue(*m_api, stmt.get(), 1, Value(info.name));
        sqlite::bindValue(*m_api, stmt.get(), 2, Value(info.schema));
        const int rc = m_api->step(stmt.get());
        if (rc == SQLITE_ROW)
            info.strict = m_api->columnInt(stmt.get(), 0) != 0;
        else if (rc != SQLITE_DONE)
            raise(rc, info.name);
    }

    // The rowid under a name no column hides; a WITHOUT ROWID table has none.
    bool withoutRowid = false;
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (info.columnIndex(candidate) >= 0)
            continue;
        const auto [rc, probe] =
            tryPrepare(std::string("SELECT ") + candidate + " FROM " + info.qualified() + " LIMIT 0");
        if (rc == SQLITE_OK)
            info.rowid = candidate;
        else
            withoutRowid = true;
        break;
    }
    int keyColumns = 0, keyIndex = -1;
    for (std::size_t i = 0; i < info.columns.size(); ++i)
        if (info.columns[i].primaryKeyIndex > 0) {
            ++keyColumns;
            keyIndex = static_cast<int>(i);
        }
    if (keyColumns == 1 && !withoutRowid &&
        ascii::upper(info.columns[static_cast<std::size_t>(keyIndex)].declaredType) == "INTEGER") {
        info.rowidAlias = keyIndex;
        if (info.rowid.empty())
            info.rowid = quoteIdentifier(info.columns[static_cast<std::size_t>(keyIndex)].name);
    }
    return info;
}

std::shared_ptr<RecordSource> Engine::schemaTables() {
    commitPending();
    std::vector<Field> columns;
    for (const char* name : {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE", "DESCRIPTION"}) {
        Field f;
        f.Name = name;
        f.Type = adVarWChar;
        columns.push_back(std::move(f));
    }
    std::vector<std::vector<Value>> rows;
    // A virtual table's DESCRIPTION is the name of its module.
    auto addRow = [&](std::string name, std::string type, const std::string& module = {}) {
        rows.push_back({Value(), Value(), Value(std::move(name)), Value(std::move(type)),
                        module.empty() ? Value() : Value(module)});
    };
    addRow("sqlite_master", "SYSTEM TABLE");
    struct Entry {
        std::string type, name, module;
    };
    std::vector<Entry> entries;
    {
        auto stmt = prepare("SELECT type, name, sql FROM sqlite_master WHERE type IN ('table', 'view') ORDER BY rowid");
        int rc;
        while ((rc = m_api->step(stmt.get())) == SQLITE_ROW)
            entries.push_back({sqlite::columnString(*m_api, stmt.get(), 0), sqlite::columnString(*m_api, stmt.get(), 1),
                               virtualModule(sqlite::columnString(*m_api, stmt.get(), 2))});
        if (rc != SQLITE_DONE)
            raise(rc);
    }
    // Only tables the program can copy and delete from are "TABLE". Virtual tables (their module may be
    // missing, and they take no new column) and the shadow tables that hold their data are listed as
    // system tables, as SQLite's own and the program's own are.
    auto isShadow = [&](const std::string& name) {
        for (const Entry& v : entries)
            if (!v.module.empty() && name.size() > v.name.size() + 1 && name[v.name.size()] == '_' &&
                startsWithNoCase(name, v.name) && shadowOf(v.module, std::string_view(name).substr(v.name.size() + 1)))
                return true;
        return false;
    };
    for (const Entry& e : entries) {
        if (e.type == "view")
            addRow(e.name, "VIEW");
        else if (startsWithNoCase(e.name, "sqlite_") || startsWithNoCase(e.name, kInternalPrefix) ||
                 !e.module.empty() || isShadow(e.name))
            addRow(e.name, "SYSTEM TABLE", e.module);
        else
            addRow(e.name, "TABLE");
    }
    return makeMemorySource(std::move(columns), std::move(rows));
}

long long Engine::tableBytes(const std::string& table) {
    commitPending();
    auto [rc, stmt] = tryPrepare("SELECT sum(payload) FROM dbstat WHERE name = ?1 COLLATE NOCASE");
    if (rc != SQLITE_OK)
        return -1; // built without the dbstat table
    sqlite::bindValue(*m_api, stmt.get(), 1, Value(table));
    if (m_api->step(stmt.get()) != SQLITE_ROW || m_api->columnType(stmt.get(), 0) == SQLITE_NULL)
        return -1;
    return m_api->columnInt64(stmt.get(), 0);
}

} // namespace db::sqlite
