// Choosing the back-end for a Data Source.
#include "db/backend.h"
#include "db/engine.h"
#include "db/pg/pg_backend.h"

namespace db {

bool isServerUri(std::string_view dataSource) {
    // libpq reads the scheme as written, in lower case.
    return dataSource.rfind("postgresql://", 0) == 0 || dataSource.rfind("postgres://", 0) == 0;
}

std::shared_ptr<Backend> openBackend(const std::string& dataSource, const std::string& password, bool readOnly) {
    if (isServerUri(dataSource))
        return pg::PgBackend::open(dataSource, password, readOnly);
    return Engine::open(dataSource, password, readOnly);
}

void probeFileBackend() {
    Engine::create(":memory:", "");
}

} // namespace db
