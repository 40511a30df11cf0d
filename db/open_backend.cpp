// Choosing the back-end for a Data Source (the functions db/backend.h declares). Kept apart from the
// interface, which the back-ends include: this file includes them.
#include "db/backend.h"
#include "db/pg/pg_backend.h"
#include "db/sqlite/engine.h"

namespace db {

bool isServerUri(std::string_view dataSource) {
    // libpq reads the scheme as written, in lower case.
    return dataSource.rfind("postgresql://", 0) == 0 || dataSource.rfind("postgres://", 0) == 0;
}

std::shared_ptr<Backend> openBackend(const std::string& dataSource, const std::string& password, bool readOnly) {
    if (isServerUri(dataSource))
        return pg::PgBackend::open(dataSource, password, readOnly);
    return sqlite::Engine::open(dataSource, password, readOnly);
}

void probeFileBackend() {
    sqlite::Engine::create(":memory:", "");
}

} // namespace db
