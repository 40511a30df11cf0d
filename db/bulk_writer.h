#pragma once
// Filling a new database file in bulk: its schema once, then rows through prepared inserts with their
// values bound, committed in batches. For copies made into a file nothing else has open yet.
#include "db/value.h"
#include <memory>
#include <string>
#include <vector>

namespace db {

class BulkWriter {
public:
    // Creates the database at `path` (an empty file there is taken over; encrypted when `password` is not
    // empty), runs `schema` (plain SQLite statements) and opens the first batch. Throws db::Error.
    // The file is written without a journal and without syncs: it is meant to be built under a name of
    // its own and synced by its maker once complete.
    BulkWriter(const std::string& path, const std::string& password, const std::string& schema);
    ~BulkWriter(); // an uncommitted batch is dropped
    BulkWriter(const BulkWriter&) = delete;
    BulkWriter& operator=(const BulkWriter&) = delete;

    // An insert of `columns` values into `table`, kept prepared until the writer closes; returns its number.
    int prepareInsert(const std::string& table, std::size_t columns);
    // Inserts one row (one value for each column) with the insert numbered `insert`. Throws db::Error.
    void insert(int insert, const std::vector<Value>& row);
    // Commits the rows inserted so far and opens the next batch.
    void commit();
    // Commits and closes the file.
    void finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace db
