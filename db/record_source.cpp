// Rows held in memory (schema rowsets), and the error for a row that is not there.
#include "db/record_source.h"
#include "db/error.h"

namespace db {

void noCurrentRecord() {
    throw Error(err::NoCurrentRecord, "No current record: the position is before the first or after the last row.");
}

namespace {

class MemorySource final : public RecordSource {
public:
    MemorySource(std::vector<Field> columns, std::vector<std::vector<Value>> rows)
        : m_columns(std::move(columns)), m_rows(std::move(rows)) {}
    const std::vector<Field>& columns() const override { return m_columns; }
    bool hasRow(long long row) const override { return row >= 0 && row < count(); }
    long long count() const override { return static_cast<long long>(m_rows.size()); }
    Value value(long long row, int column) const override {
        if (!hasRow(row))
            noCurrentRecord();
        const auto& r = m_rows[static_cast<std::size_t>(row)];
        return static_cast<std::size_t>(column) < r.size() ? r[static_cast<std::size_t>(column)] : Value();
    }

private:
    std::vector<Field> m_columns;
    std::vector<std::vector<Value>> m_rows;
};

} // namespace

std::shared_ptr<RecordSource> makeMemorySource(std::vector<Field> columns, std::vector<std::vector<Value>> rows) {
    return std::make_shared<MemorySource>(std::move(columns), std::move(rows));
}

} // namespace db
