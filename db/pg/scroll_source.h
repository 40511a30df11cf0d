#pragma once
// The rows of a server table as a grid shows them: a read-only SCROLL cursor in a REPEATABLE READ
// transaction on a connection of its own, read a block at a time around the rows asked for. A few blocks
// are kept, so scrolling through a million rows holds no more than a screenful or two in memory, and the
// connection (with its snapshot and its cursor) goes when the last holder of the rows lets go.
#include "db/pg/pg_backend.h"
#include "db/record_source.h"
#include <memory>
#include <string>

namespace db::pg {

// Opens the cursor over the rows of `statement` (connects, describes the columns, declares the cursor; no
// row is read yet). Cells are cut on the server to a little more than a grid shows of a cell, so a text
// of megabytes costs the network and this process a kilobyte. Throws db::Error naming the server.
std::shared_ptr<RecordSource> openScrollRows(const std::string& uri, const std::string& password,
                                             const PgBackend::Statement& statement);

// What the cursors of this process have done so far (tests and benchmarks).
struct ScrollCounters {
    long long rowsFetched = 0; // rows that came over the network
    long long fetches = 0;     // FETCH statements sent
    int open = 0;              // cursors (and their connections) open now
};
ScrollCounters scrollCounters();

// Rows read per FETCH.
constexpr long long kScrollBlockRows = 256;

} // namespace db::pg
