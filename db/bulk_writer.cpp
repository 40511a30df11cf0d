#include "db/bulk_writer.h"
#include "db/sqlite/engine.h"
#include "db/sqlite/sqlite_api.h"
#include "db/error.h"
#include "db/sql_quote.h"

namespace db {

using sqlite::Engine;

struct BulkWriter::State {
    std::shared_ptr<Engine> engine;
    std::vector<sqlite::StatementPtr> inserts;
    sqlite::StatementPtr begin, commit;

    void step(sqlite3_stmt* stmt) {
        const sqlite::Api& api = engine->api();
        sqlite::ResetOnExit reset(api, stmt);
        const int rc = api.step(stmt);
        if (rc != SQLITE_DONE)
            engine->raise(rc);
    }
};

BulkWriter::BulkWriter(const std::string& path, const std::string& password, const std::string& schema)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.engine = Engine::create(path, password, true);
    s.engine->runScript(schema);
    s.begin = s.engine->prepare("BEGIN");
    s.commit = s.engine->prepare("COMMIT");
    s.step(s.begin.get());
}

BulkWriter::~BulkWriter() = default; // closing the connection undoes an open batch

int BulkWriter::prepareInsert(const std::string& table, std::size_t columns) {
    std::string sql = "INSERT INTO " + quoteIdentifier(table) + " VALUES (";
    for (std::size_t i = 0; i < columns; ++i)
        sql += i ? ", ?" : "?";
    m_state->inserts.push_back(m_state->engine->prepare(sql + ")", table));
    return static_cast<int>(m_state->inserts.size()) - 1;
}

void BulkWriter::insert(int insert, const std::vector<Value>& row) {
    State& s = *m_state;
    sqlite3_stmt* stmt = s.inserts.at(static_cast<std::size_t>(insert)).get();
    const sqlite::Api& api = s.engine->api();
    for (std::size_t i = 0; i < row.size(); ++i)
        if (const int rc = sqlite::bindValue(api, stmt, static_cast<int>(i) + 1, row[i]); rc != SQLITE_OK)
            s.engine->raise(rc);
    s.step(stmt);
}

void BulkWriter::commit() {
    m_state->step(m_state->commit.get());
    m_state->step(m_state->begin.get());
}

void BulkWriter::finish() {
    m_state->step(m_state->commit.get());
    m_state->inserts.clear();
    m_state->begin.reset();
    m_state->commit.reset();
    m_state->engine.reset();
}

} // namespace db
