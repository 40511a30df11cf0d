#pragma once
// RecordSource: the rows a record set reads, by 0-based row and column. Each back-end makes its own; a
// list held in memory (schema rowsets) is common to all.
#include "db/field.h"
#include "db/value.h"
#include <memory>
#include <vector>

namespace db {

class RecordSource {
public:
    virtual ~RecordSource() = default;
    virtual const std::vector<Field>& columns() const = 0;
    virtual bool hasRow(long long row) const = 0;
    virtual long long count() const = 0;
    virtual Value value(long long row, int column) const = 0;
    // A snapshot that still reads from its table copies the rows it has left to give, because the table is
    // about to change.
    virtual void freeze() {}
};

// Throws the error for a row that is not there (err::NoCurrentRecord).
[[noreturn]] void noCurrentRecord();

std::shared_ptr<RecordSource> makeMemorySource(std::vector<Field> columns, std::vector<std::vector<Value>> rows);

} // namespace db
