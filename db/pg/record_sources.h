#pragma once
// The rows a record set reads from a server (see record_sources.cpp). Private to db/pg/.
#include "db/pg/pg_backend.h"
#include "db/record_source.h"
#include <memory>
#include <vector>

namespace db::pg {

std::vector<Field> fieldsOf(const std::vector<Column>& columns);
std::vector<unsigned> oidsOf(const std::vector<Column>& columns);

// Rows read when the record set opens: a static cursor's snapshot.
std::shared_ptr<RecordSource> makeSnapshotRows(PgBackend& backend, const PgBackend::Statement& statement);
// Rows read as they are asked for.
std::shared_ptr<RecordSource> makeLazyRows(std::shared_ptr<PgBackend> backend, PgBackend::Statement statement);

} // namespace db::pg
