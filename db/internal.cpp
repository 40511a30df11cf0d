#include "db/internal.h"
#include "db/error.h"
#include "db/sqlite/engine.h"
#include "db/sqlite/sqlite_api.h"

namespace db::internal {

using sqlite::Engine;

void createDatabase(const std::string& path, const std::string& password, const std::string& script) {
    auto engine = Engine::create(path, password);
    engine->runScript(script);
}

void executeScript(const std::string& path, const std::string& password, const std::string& script) {
    auto engine = Engine::open(path, password);
    engine->runScript(script);
}

namespace {

// The SQLite back-end of an open connection.
Engine& sqliteEngine(const Connection& connection) {
    const auto backend = connection.backend();
    if (!backend)
        throw Error(err::ObjectClosed, "The connection is not open.");
    auto* engine = dynamic_cast<Engine*>(backend.get());
    if (!engine)
        throw Error(err::EngineError, "The connection is not open on a database file.");
    return *engine;
}

} // namespace

std::string deletePlan(const Connection& connection, const std::string& sql) {
    const dialect::Statement statement = dialect::parse(sql);
    const auto* d = std::get_if<dialect::Delete>(&statement);
    if (!d)
        throw Error(err::SyntaxError, "Not a DELETE statement: \"" + sql + "\".");
    return sqliteEngine(connection).deletePlan(*d);
}

std::shared_ptr<void> holdExclusiveLock(const std::string& path, const std::string& password) {
    auto engine = Engine::open(path, password);
    engine->runScript("BEGIN EXCLUSIVE");
    return engine; // the lock goes when the last reference does (the destructor commits)
}

std::string sqliteVersionOf(const Connection& connection) {
    return sqliteEngine(connection).api().libversion();
}

void pretendSystemSqliteMissing(bool missing) {
    sqlite::pretendSystemLibraryMissing(missing);
}

} // namespace db::internal
