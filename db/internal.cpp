#include "db/internal.h"
#include "db/engine.h"
#include "db/error.h"
#include "db/sqlite_api.h"

namespace db::internal {

void createDatabase(const std::string& path, const std::string& password, const std::string& script) {
    auto engine = Engine::create(path, password);
    engine->runScript(script);
}

void executeScript(const std::string& path, const std::string& password, const std::string& script) {
    auto engine = Engine::open(path, password);
    engine->runScript(script);
}

std::string deletePlan(const Connection& connection, const std::string& sql) {
    auto engine = connection.engine();
    if (!engine)
        throw Error(err::ObjectClosed, "The connection is not open.");
    return engine->deletePlan(sql);
}

std::shared_ptr<void> holdExclusiveLock(const std::string& path, const std::string& password) {
    auto engine = Engine::open(path, password);
    engine->runScript("BEGIN EXCLUSIVE");
    return engine; // the lock goes when the last reference does (the destructor commits)
}

std::string sqliteVersionOf(const Connection& connection) {
    auto engine = connection.engine();
    if (!engine)
        throw Error(err::ObjectClosed, "The connection is not open.");
    return engine->api().libversion();
}

void pretendSystemSqliteMissing(bool missing) {
    sqlite::pretendSystemLibraryMissing(missing);
}

} // namespace db::internal
