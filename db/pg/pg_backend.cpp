#include "db/pg/pg_backend.h"
#include "db/error.h"
#include "db/pg/deleted_rows.h"
#include "db/pg/record_sources.h"
#include "db/pg/rows.h"
#include "db/pg/scroll_source.h"
#include "db/pg/uri.h"
#include "db/pg/work_changes.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include <algorithm>
#include <cstdio>

namespace db::pg {

namespace {

// The longest name the server keeps; a longer one would be cut short silently and could name another table.
constexpr std::size_t kMaxNameBytes = 63;

const char* const kCatalogue =
    "SELECT current_database(), n.nspname::text, CASE WHEN pg_catalog.pg_table_is_visible(c.oid) THEN c.relname::text "
    "ELSE n.nspname || '.' || c.relname END, "
    "CASE WHEN c.relkind IN ('r', 'p') THEN 'TABLE' ELSE 'VIEW' END "
    "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "WHERE c.relkind IN ('r', 'p', 'v', 'm') AND NOT c.relispartition "
    "AND n.nspname NOT IN ('pg_catalog', 'information_schema') AND n.nspname NOT LIKE 'pg\\_toast%' "
    "AND n.nspname NOT LIKE 'pg\\_temp\\_%' "
    "AND pg_catalog.has_table_privilege(c.oid, 'SELECT') "
    "ORDER BY 4, 3";

std::string quote(std::string_view name) {
    if (name.size() > kMaxNameBytes)
        throw Error(err::EngineError,
                    "The name '" + std::string(name) +
                        "' is longer than a PostgreSQL server keeps (63 bytes); choose a shorter one.");
    return quoteIdentifier(name);
}

Param paramOf(const Value& v) {
    if (v.isNull())
        return std::nullopt;
    if (v.isInteger())
        return std::to_string(v.asInteger());
    if (v.isReal()) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", v.asReal());
        return std::string(text);
    }
    if (v.isBlob()) {
        static const char* const kHex = "0123456789abcdef";
        std::string text = "\\x";
        for (unsigned char b : v.asBlob().bytes) {
            text += kHex[b >> 4];
            text += kHex[b & 15];
        }
        return text;
    }
    return v.asText();
}

} // namespace

// A table of the run's own, kept here: the source's rows as the snapshot shows them, an optional numbering
// column, and the identifiers of deleted rows.
struct PgBackend::WorkTable {
    std::string name;
    Target source;
    std::vector<Column> columns; // of the source, as copied
    std::string numbering;       // the added numbering column's name; empty when none was added
    std::string numberingOrder;  // what numbers the rows: the primary key, or the physical order
    // Numbered by place: each row's number is its place in the table (placeNumber(): block * 65536 +
    // offset), which the snapshot keeps for the whole run and which needs no sort, unlike a row_number()
    // over the physical order. Only for a plain heap table, where a block holds at most placesPerBlock rows.
    bool numberedByPlace = false;
    long long placesPerBlock = 0;
    std::string deleteColumn; // the column the deletes name
    std::vector<std::int64_t> deleted;
    WorkChanges changes; // plain columns the run added, and the values it gave them
};

PgBackend::PgBackend(std::string uri, std::unique_ptr<Session> session)
    : m_uri(std::move(uri)), m_session(std::move(session)) {}

PgBackend::~PgBackend() {
    // Whatever the caller left open is undone: only a commit makes a run's work last.
    try {
        if (m_inTransaction)
            m_session->run("ROLLBACK");
    } catch (...) {
        // the server undoes it when the connection closes
    }
}

std::shared_ptr<Backend> PgBackend::open(const std::string& uri, const std::string& password, bool readOnly) {
    auto session = Session::connect(uri, password);
    if (readOnly)
        session->run("SET default_transaction_read_only = on");
    auto backend = std::make_shared<PgBackend>(uri, std::move(session));
    backend->m_password = password;
    return backend;
}

// Inside the run's transaction every statement runs under a savepoint: one that fails is undone alone and the
// transaction (and its snapshot) goes on, as a failed statement leaves a file's transaction. A schema change
// outside a held transaction is committed once its statement is through.
template <class F> auto PgBackend::guarded(F&& f) -> decltype(f()) {
    const bool scoped = m_inTransaction;
    if (scoped)
        m_session->run("SAVEPOINT rowsifter_statement");
    try {
        if constexpr (std::is_void_v<decltype(f())>) {
            f();
            finishStatement(scoped);
        } else {
            auto result = f();
            finishStatement(scoped);
            return result;
        }
    } catch (const Error&) {
        m_commitAfter = false;
        m_madeRows.clear();
        try {
            if (scoped && m_inTransaction)
                m_session->run("ROLLBACK TO SAVEPOINT rowsifter_statement; RELEASE SAVEPOINT rowsifter_statement");
            else if (m_session->transactionFailed())
                m_session->run("ROLLBACK");
        } catch (const Error&) {
            // the connection is gone, and the server has undone the transaction
            transactionEnded();
        }
        if (!m_session->inTransaction())
            transactionEnded();
        throw;
    }
}

void PgBackend::finishStatement(bool scoped) {
    if (scoped && m_inTransaction)
        m_session->run("RELEASE SAVEPOINT rowsifter_statement");
    if (m_commitAfter) {
        m_commitAfter = false;
        if (m_inTransaction && !m_held) {
            m_session->run("COMMIT");
            transactionEnded();
        }
    }
}

void PgBackend::beginSnapshot() {
    if (m_inTransaction)
        return;
    m_session->run("BEGIN ISOLATION LEVEL REPEATABLE READ");
    m_inTransaction = true;
}

void PgBackend::schemaChanged() {
    m_commitAfter = true;
}

void PgBackend::transactionEnded() {
    m_inTransaction = false;
    m_held = false;
}

// A plain name is the table the server finds by it (pg_table_is_visible); any other is "schema.name",
// split at the first dot. A new table's plain name lands in current_schema(), where the server puts it.
PgBackend::Target PgBackend::resolve(const std::string& name, bool creating) {
    if (name.empty())
        throw Error(err::SyntaxError, "A table name is empty.");
    Target t;
    t.name = name;
    if (name.size() <= kMaxNameBytes) {
        const auto found = m_session->select("SELECT n.nspname, c.relname FROM pg_catalog.pg_class c "
                                             "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                                             "WHERE c.relname = $1 AND c.relkind IN ('r', 'p', 'v', 'm', 'f') "
                                             "AND pg_catalog.pg_table_is_visible(c.oid)",
                                             {name});
        if (!found.empty()) {
            t.sql = quote(*found[0][0]) + "." + quote(*found[0][1]);
            return t;
        }
    }
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos && dot > 0 && dot + 1 < name.size()) {
        const std::string schema = name.substr(0, dot);
        // "a.b" names table b of schema a only when there is such a schema; otherwise it is a name with a dot.
        if (!m_session->select("SELECT 1 FROM pg_catalog.pg_namespace WHERE nspname = $1", {schema}).empty() ||
            !creating) {
            t.sql = quote(schema) + "." + quote(std::string_view(name).substr(dot + 1));
            return t;
        }
    }
    t.sql = quote(name);
    return t;
}

PgBackend::WorkTable* PgBackend::work(const std::string& name) {
    for (auto& w : m_work)
        if (w->name == name)
            return w.get();
    return nullptr;
}

std::vector<Column> PgBackend::describe(const Target& table) {
    std::vector<Column> columns;
    Statement st;
    st.sql = "SELECT * FROM " + table.sql;
    st.table = table.name;
    readRows(
        st, 0, [&](const std::vector<Column>& cs) { columns = cs; }, [](const Row&) {});
    return columns;
}

// Rows without an identifier of their own are numbered by the primary key, each column in its own
// collation, or else in the physical order the snapshot reads (the same in every statement of it): by
// their places when the table is a plain heap table, otherwise by a row_number() over tableoid, ctid.
// A place names a row only on one server: where the distributed extension is installed, a table may
// hold rows of several servers, so the rows are numbered inside each statement there.
void PgBackend::chooseNumbering(WorkTable& w) {
    const auto key =
        m_session->select("SELECT a.attname FROM pg_catalog.pg_index i "
                          "CROSS JOIN LATERAL unnest(i.indkey) WITH ORDINALITY AS k(attnum, position) "
                          "JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum "
                          "WHERE i.indrelid = $1::regclass AND i.indisprimary ORDER BY k.position",
                          {w.source.sql}, w.source.name);
    std::string order;
    for (const auto& row : key)
        order += (order.empty() ? "" : ", ") + quote(*row[0]);
    w.numberingOrder = order.empty() ? "tableoid, ctid" : order;
    w.numberedByPlace = false;
    if (!order.empty())
        return;
    // A heap page holds at most (block size - page header) / (tuple header + line pointer) rows.
    const auto heap = m_session->select(
        "SELECT c.relkind = 'r' AND NOT c.relhassubclass AND am.amname = 'heap', "
        "(current_setting('block_size')::integer - 24) / 28 + 1 "
        "FROM pg_catalog.pg_class c LEFT JOIN pg_catalog.pg_am am ON am.oid = c.relam WHERE c.oid = $1::regclass "
        "AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_extension WHERE extname = 'citus')",
        {w.source.sql}, w.source.name);
    if (!heap.empty() && heap[0][0] == std::optional<std::string>("t") && heap[0][1]) {
        w.numberedByPlace = true;
        w.placesPerBlock = std::stoll(*heap[0][1]);
    }
}

// The rows of a work table as one subquery "w": the source's columns, the numbering when added, and
// without the rows deleted so far. Rows numbered by place also give their ctid when `places` asks (read
// in the client as the number, cheaper than the server's arithmetic). The deleted rows go to the server
// as one parameter: a bitmap over their numbers (or places) when those lie close together, else an array
// it looks rows up in by hashing. No statement per row, nothing of ours stored on the server. `filtered`
// tells whether the SQL ends in a WHERE on w.
std::string PgBackend::workRows(WorkTable& w, bool& filtered, std::vector<Param>& params, bool places) {
    std::string list;
    for (const Column& c : w.columns)
        list += (list.empty() ? "" : ", ") + quote(c.name);
    if (!w.numbering.empty()) {
        list += list.empty() ? "" : ", ";
        if (w.numberedByPlace)
            list += "(ctid::text::point)[0]::bigint * 65536 + (ctid::text::point)[1]::bigint AS " + quote(w.numbering) +
                    (places ? ", ctid" : "");
        else
            list += "row_number() OVER (ORDER BY " + w.numberingOrder + ") AS " + quote(w.numbering);
    }
    filtered = false;
    // The columns a run added and their values, joined in around the rows that are left.
    const auto withChanges = [&](std::string rows) {
        return w.changes.empty() ? rows : w.changes.joined(rows, params);
    };
    if (w.deleted.empty())
        return withChanges("(SELECT " + list + " FROM " + w.source.sql + ") AS w");

    // Without a row_number() the rows are left out as they are read, before w; otherwise after it, as the
    // numbers count every row.
    const bool inside = w.numbering.empty() || w.numberedByPlace;
    const bool byPlace = w.numberedByPlace && w.deleteColumn == w.numbering;
    // A row's bit: its number, or for rows numbered by place block * placesPerBlock - offset (dense), which
    // is the real part of the point (block, offset) times (placesPerBlock, 1): one reading of the place.
    const std::string bitOf =
        byPlace ? "(ctid::text::point * point(" + std::to_string(w.placesPerBlock) + ", 1))[0]::bigint"
                : (inside ? "" : "w.") + quote(w.deleteColumn) + "::bigint";
    DeletedSet set = deletedSet(w.deleted, byPlace ? w.placesPerBlock : 0);
    params.emplace_back(std::move(set.text));
    const std::string param = "$" + std::to_string(params.size());
    std::string condition;
    if (set.bitmap) {
        // The bitmap has a clear bit before its first and after its last: a row outside lands on one.
        condition = "COALESCE(get_bit(" + param + "::bytea, LEAST(GREATEST(" + bitOf + " - " +
                    std::to_string(set.first) + ", 0), " + std::to_string(set.last - set.first) + ")), 0) = 0";
    } else {
        // Of the identifier's own type, so the server compares without converting each row.
        std::string type = "bigint";
        for (const Column& c : w.columns)
            if (c.name == w.deleteColumn)
                type = c.typeOid == 23 ? "integer" : c.typeOid == 21 ? "smallint" : "bigint";
        condition = "NOT (" + (inside ? "" : std::string("w.")) + quote(w.deleteColumn) + " = ANY (" + param +
                    "::" + type + "[]))";
    }
    if (inside)
        return withChanges("(SELECT " + list + " FROM " + w.source.sql + " WHERE " + condition + ") AS w");
    filtered = true;
    return withChanges("(SELECT " + list + " FROM " + w.source.sql + ") AS w") + " WHERE " + condition;
}

PgBackend::Statement PgBackend::selectStatement(const dialect::Select& select) {
    Statement st;
    st.table = select.table;
    std::string from;
    std::string prefix;
    bool filtered = false;
    std::vector<std::string> columns = select.columns;
    if (WorkTable* w = work(select.table)) {
        // A work table's rows numbered by place give their ctid for the number, turned into it here.
        if (columns.empty()) {
            for (const Column& c : w->columns)
                columns.push_back(c.name);
            if (!w->numbering.empty())
                columns.push_back(w->numbering);
        }
        const auto place = std::find(columns.begin(), columns.end(), w->numbering);
        if (w->numberedByPlace && place != columns.end())
            st.placeColumn = static_cast<int>(place - columns.begin());
        from = workRows(*w, filtered, st.params, st.placeColumn >= 0);
        prefix = "w.";
    } else {
        from = resolve(select.table, false).sql;
    }
    std::string list;
    for (std::size_t i = 0; i < columns.size(); ++i)
        list += (list.empty() ? "" : ", ") +
                (static_cast<int>(i) == st.placeColumn ? "w.ctid AS " + quote(columns[i]) : prefix + quote(columns[i]));
    st.sql = "SELECT " + (list.empty() ? std::string("*") : list) + " FROM " + from;
    if (select.where) {
        st.params.push_back(paramOf(select.where->value));
        st.sql += (filtered ? " AND " : " WHERE ") + prefix + quote(select.where->column) + " = $" +
                  std::to_string(st.params.size());
    }
    if (select.orderBy.size() == 1 && !select.orderBy[0].nullsLast) {
        const std::string& by = select.orderBy[0].column;
        // Sorting a million whole numbers here costs less than the server's sort of the rows they come with.
        const WorkTable* w = work(select.table);
        const auto place = std::find(columns.begin(), columns.end(), by);
        const bool wholeNumber =
            w && (by == w->numbering || std::any_of(w->columns.begin(), w->columns.end(), [&](const Column& c) {
                      return c.name == by && integerOid(c.typeOid);
                  }));
        if (wholeNumber && place != columns.end()) {
            st.sortColumn = static_cast<int>(place - columns.begin());
            st.sortDescending = select.orderBy[0].descending;
        }
    }
    // Nulls sort as files sort them (before every value) unless asked to come last.
    for (std::size_t i = 0; i < select.orderBy.size(); ++i) {
        const dialect::OrderBy& o = select.orderBy[i];
        const bool nullsLast = o.nullsLast || o.descending;
        st.sql += (i ? ", " : " ORDER BY ") + prefix + quote(o.column) + (o.descending ? " DESC" : "") +
                  (nullsLast ? " NULLS LAST" : " NULLS FIRST");
    }
    if (select.columns.empty() && !select.where && select.orderBy.empty() && !work(select.table))
        st.wholeTable = select.table;
    return st;
}

void PgBackend::readRows(const Statement& statement, long long limit,
                         const std::function<void(const std::vector<Column>&)>& columns,
                         const std::function<void(const Row&)>& row) {
    guarded([&] {
        std::string sql = statement.sql;
        if (statement.sortColumn >= 0 && limit < 0)
            sql.erase(sql.rfind(" ORDER BY "));
        if (limit >= 0)
            sql = "SELECT * FROM (" + sql + ") AS q LIMIT " + std::to_string(limit);
        if (statement.placeColumn < 0) {
            m_session->forEachRow(sql, statement.params, columns, row, statement.table);
            return;
        }
        PlaceAsNumber numbered(statement.placeColumn);
        m_session->forEachRow(
            sql, statement.params,
            [&](const std::vector<Column>& cs) {
                std::vector<Column> described = cs;
                described.at(static_cast<std::size_t>(statement.placeColumn)).typeOid = PlaceAsNumber::kTypeOid;
                columns(described);
            },
            [&](const Row& r) { row(numbered.of(r)); }, statement.table);
    });
}

void PgBackend::copyRows(const Statement& statement, const std::function<void(const Row&)>& row) {
    guarded([&] {
        std::string sql = statement.sql;
        if (statement.sortColumn >= 0)
            sql.erase(sql.rfind(" ORDER BY "));
        CopyRow parsed;
        PlaceAsNumber numbered(statement.placeColumn);
        m_session->copyOut(
            sql,
            [&](std::string_view line) {
                parsed.parse(line);
                if (statement.placeColumn >= 0 && statement.placeColumn < parsed.columns())
                    row(numbered.of(parsed));
                else
                    row(parsed);
            },
            statement.table);
    });
}

void PgBackend::usedStatement(std::string_view table) {
    m_madeRows.erase(
        std::remove_if(m_madeRows.begin(), m_madeRows.end(), [&](const auto& t) { return t.first == table; }),
        m_madeRows.end());
}

long long PgBackend::countRows(const Statement& statement) {
    for (const auto& [table, rows] : m_madeRows)
        if (!statement.wholeTable.empty() && table == statement.wholeTable)
            return rows;
    return guarded([&] {
        const auto rows =
            m_session->select("SELECT count(*) FROM (" + statement.sql + ") AS q", statement.params, statement.table);
        return std::stoll(*rows.at(0).at(0));
    });
}

void PgBackend::execute(const dialect::Statement& statement) {
    // After Ctrl-C nothing more is done (the deletes of the scan never reach the server); dropping a work
    // table, which only forgets it, still works.
    if (interrupted() && !std::holds_alternative<dialect::DropTable>(statement))
        throw Error(err::EngineError, "Cancelled: " + m_session->where() + " was asked to stop. Nothing was changed.");
    // What only touches a work table is done here, without a word to the server (the scan's deletes).
    const auto* del = std::get_if<dialect::Delete>(&statement);
    const auto* drop = std::get_if<dialect::DropTable>(&statement);
    if ((del && work(del->table)) || (drop && work(drop->table))) {
        del ? deleteRows(*del) : dropTable(*drop);
        return;
    }
    const auto* add = std::get_if<dialect::AddColumn>(&statement);
    const auto* update = std::get_if<dialect::Update>(&statement);
    if (WorkTable* w = add ? work(add->table) : update ? work(update->table) : nullptr) {
        add ? w->changes.addColumn(*add, w->columns, w->numbering)
            : w->changes.update(*update, w->columns, w->numbering);
        return;
    }
    guarded([&] {
        std::visit(
            [&](const auto& s) {
                using T = std::decay_t<decltype(s)>;
                if constexpr (std::is_same_v<T, dialect::Select>)
                    selectInto(s);
                else if constexpr (std::is_same_v<T, dialect::AddIdentity>)
                    addIdentity(s);
                else if constexpr (std::is_same_v<T, dialect::Delete>)
                    deleteRows(s);
                else if constexpr (std::is_same_v<T, dialect::DropTable>)
                    dropTable(s);
                else
                    throw Error(err::EngineError, "Adding a plain column or changing rows in place is done on " +
                                                      m_session->where() + " only in the run's own work tables.");
            },
            statement);
    });
}

void PgBackend::selectInto(const dialect::Select& s) {
    if (!s.into)
        throw Error(err::SyntaxError, "A SELECT without INTO returns rows: open it as a record set.");
    const bool declared = std::find(m_declared.begin(), m_declared.end(), *s.into) != m_declared.end();
    if (declared) {
        if (work(*s.into) || s.where)
            throw Error(err::TableExists, "Table '" + *s.into + "' already exists.");
        auto w = std::make_unique<WorkTable>();
        w->name = *s.into;
        if (const WorkTable* from = work(s.table)) {
            // A copy of a work table: the same rows, numbering and deletes so far.
            *w = *from;
            w->name = *s.into;
        } else {
            beginSnapshot();
            w->source = resolve(s.table, false);
            // The snapshot is taken here; the lock keeps the table's definition as it is until the end.
            m_session->exec("LOCK TABLE " + w->source.sql + " IN ACCESS SHARE MODE", {}, true, s.table);
            w->columns = describe(w->source);
        }
        if (!s.columns.empty()) {
            std::vector<Column> chosen;
            for (const std::string& name : s.columns) {
                auto it =
                    std::find_if(w->columns.begin(), w->columns.end(), [&](const Column& c) { return c.name == name; });
                if (it == w->columns.end())
                    throw Error(err::NoSuchColumn, "No field '" + name + "' in the table '" + s.table + "'.");
                chosen.push_back(*it);
            }
            w->columns = std::move(chosen);
        }
        m_work.push_back(std::move(w));
        return;
    }
    const Target target = resolve(*s.into, true);
    std::string list;
    std::string from;
    std::vector<Param> params;
    std::string prefix;
    bool filtered = false;
    if (WorkTable* w = work(s.table)) {
        from = workRows(*w, filtered, params);
        prefix = "w.";
    } else {
        from = resolve(s.table, false).sql;
    }
    for (const std::string& c : s.columns)
        list += (list.empty() ? "" : ", ") + prefix + quote(c);
    std::string sql =
        "CREATE TABLE " + target.sql + " AS SELECT " + (list.empty() ? std::string("*") : list) + " FROM " + from;
    if (s.where) {
        params.push_back(paramOf(s.where->value));
        sql +=
            (filtered ? " AND " : " WHERE ") + prefix + quote(s.where->column) + " = $" + std::to_string(params.size());
    }
    // A new table's rows are written in the order asked for, so they read back in it.
    for (std::size_t i = 0; i < s.orderBy.size(); ++i)
        sql += (i ? ", " : " ORDER BY ") + prefix + quote(s.orderBy[i].column) +
               (s.orderBy[i].descending ? " DESC" : "") +
               (s.orderBy[i].nullsLast || s.orderBy[i].descending ? " NULLS LAST" : " NULLS FIRST");
    const ResultPtr made = m_session->exec(sql, params, false, s.table);
    usedStatement(*s.into);
    if (const long long rows = affectedRows(made.get()); rows >= 0)
        m_madeRows.emplace_back(*s.into, rows);
    schemaChanged();
}

void PgBackend::addIdentity(const dialect::AddIdentity& a) {
    WorkTable* w = work(a.table);
    if (!w)
        throw Error(err::EngineError, "A numbering column can be added on a PostgreSQL server only to the run's own "
                                      "work table, not to '" +
                                          a.table + "'.");
    const bool taken = a.column == w->numbering || std::any_of(w->columns.begin(), w->columns.end(),
                                                               [&](const Column& c) { return c.name == a.column; });
    if (taken)
        throw Error(err::TableExists, "The table '" + a.table + "' already has a field named '" + a.column + "'.");
    if (!w->numbering.empty()) {
        // A second numbering: the first becomes an ordinary column of the same numbers.
        throw Error(err::EngineError, "The table '" + a.table + "' already has a numbering column.");
    }
    chooseNumbering(*w);
    w->numbering = a.column;
}

void PgBackend::deleteRows(const dialect::Delete& d) {
    WorkTable* w = work(d.table);
    if (!w) {
        const Target t = resolve(d.table, false);
        usedStatement(d.table);
        m_session->exec("DELETE FROM " + t.sql + " WHERE " + quote(d.where.column) + " = $1", {paramOf(d.where.value)},
                        false, d.table);
        return;
    }
    const std::string& column = d.where.column;
    const bool known = column == w->numbering || std::any_of(w->columns.begin(), w->columns.end(),
                                                             [&](const Column& c) { return c.name == column; });
    if (!known)
        throw Error(err::NoSuchColumn, "No field '" + column + "' in the table '" + d.table + "'.");
    if (!w->deleteColumn.empty() && w->deleteColumn != column)
        throw Error(err::EngineError,
                    "Rows of the work table '" + d.table + "' are deleted by '" + w->deleteColumn + "' only.");
    if (!d.where.value.isInteger())
        throw Error(err::TypeMismatch, "Rows of the work table '" + d.table + "' are deleted by a whole number only.");
    w->deleteColumn = column;
    w->deleted.push_back(d.where.value.asInteger());
}

void PgBackend::dropTable(const dialect::DropTable& d) {
    auto it = std::find_if(m_work.begin(), m_work.end(), [&](const auto& w) { return w->name == d.table; });
    if (it != m_work.end()) {
        m_work.erase(it);
        return;
    }
    // Inside the transaction a drop that fails (the table is already gone: 3078) is undone alone.
    const Target t = resolve(d.table, false);
    m_session->exec("DROP TABLE " + t.sql, {}, true, d.table);
    usedStatement(d.table);
    schemaChanged();
}

std::shared_ptr<RecordSource> PgBackend::query(const dialect::Select& select, int cursorType) {
    if (select.into)
        throw Error(err::SyntaxError, "A SELECT ... INTO makes a table: run it with Execute.");
    return guarded([&]() -> std::shared_ptr<RecordSource> {
        Statement st = selectStatement(select);
        if (cursorType == adOpenStatic)
            return makeSnapshotRows(*this, st);
        // A table as it stands, outside a run, for a grid to scroll through (the dynamic cursor of the
        // previews): a scroll cursor of its own. It holds its snapshot, and a share lock on the table, until
        // the grid lets go; the record sets the engine opens for itself do not.
        if (cursorType == adOpenDynamic && !m_inTransaction && !work(select.table))
            return openScrollRows(m_uri, m_password, st);
        return makeLazyRows(shared_from_this(), std::move(st));
    });
}

std::shared_ptr<RecordSource> PgBackend::schemaTables() {
    return guarded([&] {
        std::vector<std::vector<Value>> rows;
        for (const auto& row : m_session->select(kCatalogue))
            rows.push_back({Value(*row[0]), Value(*row[1]), Value(*row[2]), Value(*row[3]), Value()});
        std::vector<Field> fields(5);
        const char* const names[] = {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE", "DESCRIPTION"};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            fields[i].Name = names[i];
            fields[i].Type = adVarWChar;
        }
        return makeMemorySource(std::move(fields), std::move(rows));
    });
}

void PgBackend::commitPending() {
    if (m_inTransaction && !m_held)
        endTransaction("COMMIT");
}

// COMMIT or ROLLBACK: either way the transaction is over, on the server too when the statement fails.
void PgBackend::endTransaction(const char* sql) {
    if (std::string_view(sql) == "ROLLBACK")
        m_madeRows.clear();
    try {
        m_session->run(sql);
    } catch (const Error&) {
        transactionEnded();
        throw;
    }
    transactionEnded();
}

void PgBackend::ensureWritable() {
    guarded([&] {
        const auto rows = m_session->select(
            "SELECT pg_catalog.pg_is_in_recovery() OR current_setting('transaction_read_only') = 'on', "
            "current_schema(), current_schema() IS NOT NULL AND "
            "pg_catalog.has_schema_privilege(current_schema(), 'CREATE')");
        if (rows.at(0).at(0) == std::optional<std::string>("t"))
            throw Error(err::ReadOnly, "The connection to " + m_session->where() + " is read-only.");
        if (rows.at(0).at(2) != std::optional<std::string>("t"))
            throw Error(err::ReadOnly, "No table can be created in the schema '" + rows.at(0).at(1).value_or("") +
                                           "' on " + m_session->where() + " (permission denied).");
    });
}

long long PgBackend::tableBytes(const std::string&) {
    return -1; // nothing of a server table is copied onto this machine's disk
}

FreeSpace PgBackend::workTableSpace() const {
    return FreeSpace{}; // work tables are kept in this process's memory and the server's own temporary space
}

void PgBackend::beginTransaction() {
    beginSnapshot();
    m_held = true;
}

void PgBackend::commitTransaction() {
    if (m_inTransaction)
        endTransaction("COMMIT");
}

void PgBackend::rollbackTransaction() {
    if (m_inTransaction)
        endTransaction("ROLLBACK");
}

void PgBackend::declareWorkTable(const std::string& name) {
    if (std::find(m_declared.begin(), m_declared.end(), name) == m_declared.end())
        m_declared.push_back(name);
}

void PgBackend::cancel() {
    m_session->cancel();
}

} // namespace db::pg
