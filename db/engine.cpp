#include "db/engine.h"
#include "db/error.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include <cctype>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace db {

std::shared_ptr<RecordSource> makeSnapshotSource(Engine& engine, std::vector<Field> columns, sqlite3_stmt* stmt,
                                                 const std::string& table);
std::shared_ptr<RecordSource> makeLazySource(std::shared_ptr<Engine> engine, std::vector<Field> columns,
                                             std::string selectList, std::string table, std::string rowid,
                                             std::string condition, std::optional<Value> conditionValue);

namespace {

constexpr int kBusyTimeoutMs = 2000;
constexpr const char* kInternalPrefix = "rowsifter_internal_";

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalNoCase(s.substr(0, prefix.size()), prefix);
}

std::string upperAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string textColumn(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))) : std::string();
}

// A declared type goes back into a CREATE TABLE as written when it is plain type text; anything stranger
// is quoted so that it can only ever be read as a type name.
std::string typeClause(const std::string& declared) {
    if (declared.empty())
        return {};
    for (char c : declared) {
        const auto u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || c == ' ' || c == '(' || c == ')' || c == ',' || c == '_' || c == '+' || c == '-' ||
              c == '.'))
            return " " + quoteIdentifier(declared);
    }
    return " " + declared;
}

std::string joinQuoted(const TableInfo& t, const std::vector<int>& indexes) {
    std::string out;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (i)
            out += ", ";
        out += quoteIdentifier(t.columns[static_cast<std::size_t>(indexes[i])].name);
    }
    return out;
}

[[noreturn]] void noSuchColumn(const std::string& column, const std::string& table) {
    throw Error(err::NoSuchColumn, "Field '" + column + "' not found in table '" + table + "'.");
}

} // namespace

int TableInfo::columnIndex(std::string_view columnName) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (equalNoCase(columns[i].name, columnName))
            return static_cast<int>(i);
    return -1;
}

// One schema change: pending deletes are committed first, and the change is committed as a whole or
// rolled back, so a failure or a killed process never leaves half of it behind.
class Engine::Transaction {
public:
    // Inside a transaction the caller holds open, the change is a savepoint of it: it is undone alone
    // when it fails, and committed only with the rest.
    explicit Transaction(Engine& engine) : m_engine(engine), m_nested(engine.m_heldTransaction) {
        m_engine.commitPending();
        m_engine.exec(m_nested ? "SAVEPOINT rowsifter_change" : "BEGIN IMMEDIATE");
    }
    ~Transaction() {
        if (m_done)
            return;
        if (m_nested)
            sqlite3_exec(m_engine.m_db.get(), "ROLLBACK TO rowsifter_change; RELEASE rowsifter_change", nullptr, nullptr,
                         nullptr);
        else
            sqlite3_exec(m_engine.m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        m_engine.followAutocommit();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        m_engine.exec(m_nested ? "RELEASE rowsifter_change" : "COMMIT");
        m_done = true;
    }

private:
    Engine& m_engine;
    bool m_nested;
    bool m_done = false;
};

Engine::Engine(std::string path, sqlite::DatabasePtr db) : m_path(std::move(path)), m_db(std::move(db)) {}

Engine::~Engine() {
    m_deletes.clear();
    // A transaction the caller held open and never committed is undone, as on any connection that closes.
    if (m_heldTransaction)
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    else if (m_batchOpen)
        sqlite3_exec(m_db.get(), "COMMIT", nullptr, nullptr, nullptr);
}

std::shared_ptr<Engine> Engine::open(const std::string& path, const std::string& password) {
    if (path.empty())
        throw Error(err::FileNotFound, "No database file was named.");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw Error(err::FileNotFound, "The database file '" + path + "' does not exist.");
    if (S_ISDIR(st.st_mode))
        throw Error(err::NotADatabase, "'" + path + "' is a folder, not a database file.");
    if (!S_ISREG(st.st_mode))
        throw Error(err::NotADatabase, "'" + path + "' is not a database file.");
    if (st.st_size == 0)
        throw Error(err::NotADatabase, "The file '" + path + "' is empty: it is not a database.");

    char header[32] = {};
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw Error(err::ReadOnly, "The database file '" + path + "' cannot be read (no permission).");
        in.read(header, sizeof header);
    }
    // A real Access file is recognised by its own header and left alone: it is never handed to SQLite.
    if (std::memcmp(header + 4, "Standard Jet DB", 15) == 0 || std::memcmp(header + 4, "Standard ACE DB", 15) == 0)
        throw Error(err::AccessFile, "'" + path +
                                         "' is a Microsoft Access database file, which this program cannot open. "
                                         "Convert or export it to an SQLite database, then open that file.");
    const bool plain = std::memcmp(header, "SQLite format 3", 16) == 0;
    // An encrypted file has no readable header at all, only whole pages.
    if (!plain && st.st_size % 512 != 0)
        throw Error(err::NotADatabase, "The file '" + path +
                                           "' is not a database: its content is in no format "
                                           "this program reads.");

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    sqlite::DatabasePtr db(raw);
    if (rc != SQLITE_OK)
        throw Error(err::FileNotFound, "The database file '" + path + "' cannot be opened: " +
                                           (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)) + ".");
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    if (!plain) {
        if (password.empty())
            throw Error(err::WrongPassword, "The database file '" + path +
                                                "' is protected by a password. Enter its password and try again.");
        sqlite3_key(db.get(), password.data(), static_cast<int>(password.size()));
    }
    // A plain file opened with a password: the password is ignored, as the Access engine does.

    std::shared_ptr<Engine> engine(new Engine(path, std::move(db)));
    sqlite3_stmt* probe = nullptr;
    int prc = sqlite3_prepare_v2(engine->m_db.get(), "SELECT count(*) FROM sqlite_master", -1, &probe, nullptr);
    sqlite::StatementPtr probeOwner(probe);
    if (prc == SQLITE_OK)
        prc = sqlite3_step(probe);
    if (prc != SQLITE_ROW) {
        if (prc == SQLITE_NOTADB && !plain)
            throw Error(err::WrongPassword, "Not a valid password for the database file '" + path + "'.");
        if (prc == SQLITE_NOTADB)
            throw Error(err::NotADatabase, "The file '" + path + "' is not a database, or it is damaged.");
        engine->raise(prc);
    }
    probeOwner.reset();
    engine->exec("PRAGMA cache_size = -65536");
    return engine;
}

std::shared_ptr<Engine> Engine::create(const std::string& path, const std::string& password) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite::DatabasePtr db(raw);
    if (rc != SQLITE_OK)
        throw Error(err::FileNotFound, "The database file '" + path + "' cannot be created: " +
                                           (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)) + ".");
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    if (!password.empty())
        sqlite3_key(db.get(), password.data(), static_cast<int>(password.size()));
    std::shared_ptr<Engine> engine(new Engine(path, std::move(db)));
    // Writing the header now makes even an empty database a recognisable file.
    engine->exec("PRAGMA user_version = 1");
    return engine;
}

void Engine::raise(int rc, const std::string& table) const {
    const std::string message = sqlite3_errmsg(m_db.get());
    const std::string file = "the database file '" + m_path + "'";
    const std::string where = table.empty() ? file : "table '" + table + "' in " + file;
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
        throw Error(err::FileLocked,
                    "The database file '" + m_path + "' is in use by another program. Close it there and try again.");
    case SQLITE_FULL:
    case SQLITE_NOMEM:
        throw Error(err::DiskFull, "Not enough disk space or memory to write " + where + ".");
    case SQLITE_READONLY:
        throw Error(err::ReadOnly, "The database file '" + m_path + "' cannot be written (it is read-only).");
    case SQLITE_NOTADB:
        throw Error(err::NotADatabase, "The file '" + m_path + "' is not a database, or it is damaged.");
    case SQLITE_CORRUPT:
        throw Error(err::EngineError, "The database file '" + m_path + "' is damaged (" + message + ").");
    case SQLITE_LOCKED:
        throw Error(err::EngineError, "The " + where + " is in use by an open record set (" + message + ").");
    default:
        throw Error(err::EngineError, message + " (" + where + ").");
    }
}

sqlite::StatementPtr Engine::prepare(const std::string& sql, const std::string& table) {
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v2(m_db.get(), sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    sqlite::StatementPtr owner(stmt);
    if (rc != SQLITE_OK)
        raise(rc, table);
    return owner;
}

void Engine::exec(const std::string& sql, const std::string& table) {
    auto stmt = prepare(sql, table);
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        raise(rc, table);
}

void Engine::runScript(const std::string& sql) {
    commitPending();
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db.get(), sql.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw Error(err::EngineError, text + " (the database file '" + m_path + "').");
    }
    schemaChanged();
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
}

void Engine::rollbackTransaction() {
    if (m_heldTransaction)
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    m_heldTransaction = false;
    m_batchOpen = false;
}

// SQLite ends a transaction by itself on some failures (a full disk, an I/O error): what the layer believes
// must follow, or later statements would run outside any transaction.
void Engine::followAutocommit() {
    if (sqlite3_get_autocommit(m_db.get())) {
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
}

void Engine::schemaChanged() {
    m_deletes.clear();
}

bool Engine::objectExists(const std::string& name) {
    auto stmt = prepare("SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE");
    sqlite::bindValue(stmt.get(), 1, Value(name));
    const int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        raise(rc, name);
    return rc == SQLITE_ROW;
}

TableInfo Engine::describe(const std::string& table) {
    TableInfo info;
    {
        auto stmt = prepare("SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view') AND "
                            "name = ?1 COLLATE NOCASE");
        sqlite::bindValue(stmt.get(), 1, Value(table));
        const int rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_DONE)
            throw Error(err::NoSuchTable,
                        "Table '" + table + "' does not exist in the database file '" + m_path + "'.");
        if (rc != SQLITE_ROW)
            raise(rc, table);
        info.isView = textColumn(stmt.get(), 0) == "view";
        info.name = textColumn(stmt.get(), 1);
    }
    {
        auto stmt = prepare("PRAGMA table_info(" + quoteIdentifier(info.name) + ")", info.name);
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            ColumnDef c;
            c.name = textColumn(stmt.get(), 1);
            c.declaredType = textColumn(stmt.get(), 2);
            c.notNull = sqlite3_column_int(stmt.get(), 3) != 0;
            if (sqlite3_column_type(stmt.get(), 4) != SQLITE_NULL)
                c.defaultSql = textColumn(stmt.get(), 4);
            c.primaryKeyIndex = sqlite3_column_int(stmt.get(), 5);
            info.columns.push_back(std::move(c));
        }
        if (rc != SQLITE_DONE)
            raise(rc, info.name);
    }
    if (info.isView)
        return info;

    // The rowid under a name no column hides; a WITHOUT ROWID table has none.
    bool withoutRowid = false;
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (info.columnIndex(candidate) >= 0)
            continue;
        sqlite3_stmt* probe = nullptr;
        const std::string sql = std::string("SELECT ") + candidate + " FROM " + quoteIdentifier(info.name) + " LIMIT 0";
        const int rc = sqlite3_prepare_v2(m_db.get(), sql.c_str(), -1, &probe, nullptr);
        sqlite3_finalize(probe);
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
        upperAscii(info.columns[static_cast<std::size_t>(keyIndex)].declaredType) == "INTEGER") {
        info.rowidAlias = keyIndex;
        if (info.rowid.empty())
            info.rowid = quoteIdentifier(info.columns[static_cast<std::size_t>(keyIndex)].name);
    }
    return info;
}

void Engine::execute(const std::string& sql) {
    const dialect::Statement statement = dialect::parse(sql);
    if (const auto* s = std::get_if<dialect::Select>(&statement)) {
        if (s->into)
            selectInto(*s);
        else
            query(sql, adOpenForwardOnly); // checks names; the rows are not wanted
    } else if (const auto* a = std::get_if<dialect::AddIdentity>(&statement)) {
        addIdentity(*a);
    } else if (const auto* d = std::get_if<dialect::Delete>(&statement)) {
        deleteRows(*d);
    } else {
        dropTable(std::get<dialect::DropTable>(statement));
    }
}

std::shared_ptr<RecordSource> Engine::query(const std::string& sql, int cursorType) {
    const dialect::Statement statement = dialect::parse(sql);
    const auto* s = std::get_if<dialect::Select>(&statement);
    if (!s || s->into)
        throw Error(err::SyntaxError,
                    "The statement \"" + sql +
                        "\" returns no rows; only a SELECT without INTO can be opened as a record set.");
    commitPending();
    const TableInfo t = describe(s->table);

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
    const std::string selectList = joinQuoted(t, indexes);

    std::string condition;
    if (s->where) {
        const int i = t.columnIndex(s->where->column);
        if (i < 0)
            noSuchColumn(s->where->column, t.name);
        condition = quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name) + " = ?1";
    }
    int orderIndex = -1;
    if (s->orderBy) {
        orderIndex = t.columnIndex(s->orderBy->column);
        if (orderIndex < 0)
            noSuchColumn(s->orderBy->column, t.name);
    }

    // Anything but a snapshot reads in rowid order, block by block, when the table allows it.
    const bool rowidOrder = !s->orderBy || (orderIndex == t.rowidAlias && !s->orderBy->descending);
    if (cursorType != adOpenStatic && !t.rowid.empty() && rowidOrder) {
        std::optional<Value> value;
        if (s->where)
            value = s->where->value;
        return makeLazySource(shared_from_this(), std::move(fields), selectList, t.name, t.rowid, condition, value);
    }

    std::string text = "SELECT " + selectList + " FROM " + quoteIdentifier(t.name);
    if (!condition.empty())
        text += " WHERE " + condition;
    if (s->orderBy) {
        text += " ORDER BY " + quoteIdentifier(t.columns[static_cast<std::size_t>(orderIndex)].name) +
                (s->orderBy->descending ? " DESC" : "");
        if (!t.rowid.empty() && orderIndex != t.rowidAlias)
            text += ", " + t.rowid; // ties keep stored order
    } else if (!t.rowid.empty()) {
        text += " ORDER BY " + t.rowid;
    }
    auto stmt = prepare(text, t.name);
    if (s->where)
        sqlite::bindValue(stmt.get(), 1, s->where->value);
    return makeSnapshotSource(*this, std::move(fields), stmt.get(), t.name);
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
    auto addRow = [&](std::string name, std::string type) {
        rows.push_back({Value(), Value(), Value(std::move(name)), Value(std::move(type)), Value()});
    };
    addRow("sqlite_master", "SYSTEM TABLE");
    auto stmt = prepare("SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view') ORDER BY rowid");
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        const std::string type = textColumn(stmt.get(), 0);
        std::string name = textColumn(stmt.get(), 1);
        if (type == "view")
            addRow(std::move(name), "VIEW");
        else if (startsWithNoCase(name, "sqlite_") || startsWithNoCase(name, kInternalPrefix))
            addRow(std::move(name), "SYSTEM TABLE");
        else
            addRow(std::move(name), "TABLE");
    }
    if (rc != SQLITE_DONE)
        raise(rc);
    return makeMemorySource(std::move(columns), std::move(rows));
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

    // The new table keeps each column's declared type; keys and constraints are not copied, so an
    // auto-numbered source column becomes a plain integer column.
    std::string create = "CREATE TABLE " + quoteIdentifier(target) + " (";
    for (std::size_t k = 0; k < indexes.size(); ++k) {
        const auto idx = indexes[k];
        const ColumnDef& c = t.columns[static_cast<std::size_t>(idx)];
        if (k)
            create += ", ";
        create +=
            quoteIdentifier(c.name) + (idx == t.rowidAlias ? std::string(" INTEGER") : typeClause(c.declaredType));
    }
    create += ")";

    const std::string list = joinQuoted(t, indexes);
    std::string insert = "INSERT INTO " + quoteIdentifier(target) + " (" + list + ") SELECT " + list + " FROM " +
                         quoteIdentifier(t.name);
    if (s.where) {
        const int i = t.columnIndex(s.where->column);
        if (i < 0)
            noSuchColumn(s.where->column, t.name);
        insert += " WHERE " + quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name) + " = ?1";
    }
    if (s.orderBy) {
        const int i = t.columnIndex(s.orderBy->column);
        if (i < 0)
            noSuchColumn(s.orderBy->column, t.name);
        insert += " ORDER BY " + quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name) +
                  (s.orderBy->descending ? " DESC" : "");
        if (!t.rowid.empty())
            insert += ", " + t.rowid;
    } else if (!t.rowid.empty()) {
        insert += " ORDER BY " + t.rowid; // the copy keeps the stored order
    }

    Transaction tx(*this);
    exec(create, target);
    {
        auto stmt = prepare(insert, t.name);
        if (s.where)
            sqlite::bindValue(stmt.get(), 1, s.where->value);
        const int rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_DONE)
            raise(rc, target);
    }
    tx.commit();
    schemaChanged();
}

void Engine::addIdentity(const dialect::AddIdentity& a) {
    const TableInfo t = describe(a.table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view: no column can be added to it.");
    if (t.columnIndex(a.column) >= 0)
        throw Error(err::EngineError, "Field '" + a.column + "' already exists in table '" + t.name + "'.");
    const std::string table = quoteIdentifier(t.name);
    const std::string column = quoteIdentifier(a.column);

    Transaction tx(*this);
    if (t.rowidAlias >= 0) {
        // The table already has its own rowid column, so the numbers go into a plain column, looked up
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
            auto stmt = prepare("SELECT sql FROM sqlite_master WHERE type IN ('index', 'trigger') AND "
                                "tbl_name = ?1 COLLATE NOCASE AND sql IS NOT NULL ORDER BY rowid",
                                t.name);
            sqlite::bindValue(stmt.get(), 1, Value(t.name));
            int rc;
            while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW)
                keep.push_back(textColumn(stmt.get(), 0));
            if (rc != SQLITE_DONE)
                raise(rc, t.name);
        }
        std::string create = "CREATE TABLE " + quoteIdentifier(rebuilt) + " (";
        std::string list, key;
        for (const ColumnDef& c : t.columns) {
            create += quoteIdentifier(c.name) + typeClause(c.declaredType);
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
        create += ")";
        exec(create, t.name);
        exec("INSERT INTO " + quoteIdentifier(rebuilt) + " (" + list + ") SELECT " + list + " FROM " + table +
                 (t.rowid.empty() ? "" : " ORDER BY " + t.rowid),
             t.name);
        exec("DROP TABLE " + table, t.name);
        exec("ALTER TABLE " + quoteIdentifier(rebuilt) + " RENAME TO " + table, t.name);
        for (const auto& sql : keep)
            exec(sql, t.name);
    }
    tx.commit();
    schemaChanged();
}

void Engine::dropTable(const dialect::DropTable& d) {
    const TableInfo t = describe(d.table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view, not a table: DROP TABLE does not remove it.");
    Transaction tx(*this);
    exec("DROP TABLE " + quoteIdentifier(t.name), t.name);
    tx.commit();
    schemaChanged();
}

void Engine::ensureIndex(const TableInfo& table, const ColumnDef& column) {
    auto list = prepare("PRAGMA index_list(" + quoteIdentifier(table.name) + ")", table.name);
    std::vector<std::string> names;
    int rc;
    while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
        const bool partial = sqlite3_column_count(list.get()) > 4 && sqlite3_column_int(list.get(), 4) != 0;
        if (!partial)
            names.push_back(textColumn(list.get(), 1));
    }
    if (rc != SQLITE_DONE)
        raise(rc, table.name);
    for (const auto& name : names) {
        auto info = prepare("PRAGMA index_info(" + quoteIdentifier(name) + ")", table.name);
        if (sqlite3_step(info.get()) == SQLITE_ROW && sqlite3_column_type(info.get(), 2) != SQLITE_NULL &&
            equalNoCase(textColumn(info.get(), 2), column.name))
            return;
    }
    std::string name = "rowsifter_idx_" + table.name + "_" + column.name;
    for (int n = 2; objectExists(name); ++n)
        name = "rowsifter_idx_" + table.name + "_" + column.name + "_" + std::to_string(n);
    exec("CREATE INDEX " + quoteIdentifier(name) + " ON " + quoteIdentifier(table.name) + " (" +
             quoteIdentifier(column.name) + ")",
         table.name);
}

sqlite3_stmt* Engine::deleteStatement(const dialect::Delete& d) {
    std::string key = d.table;
    key.push_back('\0');
    key += d.where.column;
    if (auto it = m_deletes.find(key); it != m_deletes.end())
        return it->second.get();

    const TableInfo t = describe(d.table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view: rows cannot be deleted from it.");
    std::string target;
    const int i = t.columnIndex(d.where.column);
    if (i >= 0 && i == t.rowidAlias) {
        target = t.rowid;
    } else if (i >= 0) {
        // Never a scan per delete: make sure the column is indexed (once; the index goes with the table).
        beginBatch();
        ensureIndex(t, t.columns[static_cast<std::size_t>(i)]);
        target = quoteIdentifier(t.columns[static_cast<std::size_t>(i)].name);
    } else if (!t.rowid.empty() && equalNoCase(t.rowid, d.where.column)) {
        target = t.rowid;
    } else {
        noSuchColumn(d.where.column, t.name);
    }
    auto stmt = prepare("DELETE FROM " + quoteIdentifier(t.name) + " WHERE " + target + " = ?1", t.name);
    sqlite3_stmt* raw = stmt.get();
    m_deletes.emplace(std::move(key), std::move(stmt));
    return raw;
}

void Engine::deleteRows(const dialect::Delete& d) {
    sqlite3_stmt* stmt = deleteStatement(d);
    // Consecutive deletes share one transaction; it is committed before anything else reads or changes
    // the schema, and when the connection closes.
    beginBatch();
    sqlite::ResetOnExit reset(stmt);
    sqlite::bindValue(stmt, 1, d.where.value);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE)
        raise(rc, d.table);
}

std::string Engine::deletePlan(const std::string& sql) {
    const dialect::Statement statement = dialect::parse(sql);
    const auto* d = std::get_if<dialect::Delete>(&statement);
    if (!d)
        throw Error(err::SyntaxError, "Not a DELETE statement: \"" + sql + "\".");
    sqlite3_stmt* stmt = deleteStatement(*d);
    auto plan = prepare(std::string("EXPLAIN QUERY PLAN ") + sqlite3_sql(stmt));
    std::string out;
    while (sqlite3_step(plan.get()) == SQLITE_ROW)
        out += (out.empty() ? "" : "; ") + textColumn(plan.get(), 3);
    return out;
}

} // namespace db
