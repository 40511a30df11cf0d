// The rows a record set reads from a server: a snapshot read whole when it opens (a static cursor), or a
// window read block by block as the grid asks for rows.
#include "db/pg/record_sources.h"
#include "db/error.h"
#include "db/pg/rows.h"
#include "db/types.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace db::pg {

std::vector<Field> fieldsOf(const std::vector<Column>& columns) {
    std::vector<Field> fields;
    for (const Column& c : columns) {
        Field f;
        f.Name = c.name;
        f.Type = typeCode(c.typeOid);
        fields.push_back(std::move(f));
    }
    return fields;
}

std::vector<unsigned> oidsOf(const std::vector<Column>& columns) {
    std::vector<unsigned> oids;
    for (const Column& c : columns)
        oids.push_back(c.typeOid);
    return oids;
}

namespace {

[[noreturn]] void noCurrentRecord() {
    throw Error(err::NoCurrentRecord, "No current record: the position is before the first or after the last row.");
}

// How many bytes of a snapshot's rows stay in memory: 16 MB (half a million rows of a few short cells), or
// ROWSIFTER_SNAPSHOT_MEMORY megabytes when set (0: every full block goes to the file).
std::size_t snapshotMemory() {
    if (const char* text = std::getenv("ROWSIFTER_SNAPSHOT_MEMORY")) {
        char* end = nullptr;
        const double mb = std::strtod(text, &end);
        if (end != text && mb >= 0 && mb < 1e6)
            return static_cast<std::size_t>(mb * 1024 * 1024);
    }
    return std::size_t{16} << 20;
}

// Where the rows past that go: TMPDIR when set, else /tmp.
std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

// Rows read when the record set opens: a static cursor's snapshot.
class SnapshotRows final : public RecordSource {
public:
    SnapshotRows(PgBackend& backend, const PgBackend::Statement& statement) {
        // Rows in bulk with COPY (its columns learnt first); a statement with parameters in single-row mode.
        const bool copy = statement.params.empty();
        backend.readRows(
            statement, copy ? 0 : -1,
            [&](const std::vector<Column>& columns) {
                m_fields = fieldsOf(columns);
                m_oids = oidsOf(columns);
                // A large table's rows beyond the first tens of megabytes wait in a temporary file.
                m_rows.spillPast(snapshotMemory(), temporaryFolder(), static_cast<int>(columns.size()),
                                 "the rows of '" + statement.table + "'");
            },
            [&](const Row& row) { m_rows.append(row, m_oids); });
        if (copy)
            backend.copyRows(statement, [&](const Row& row) {
                if (row.columns() != static_cast<int>(m_oids.size()))
                    throw Error(err::EngineError, "A row of '" + statement.table + "' came back malformed.");
                m_rows.append(row, m_oids);
            });
        m_rows.finish();
        if (statement.sortColumn >= 0)
            sort(statement.sortColumn, statement.sortDescending);
    }
    const std::vector<Field>& columns() const override { return m_fields; }
    bool hasRow(long long row) const override { return row >= 0 && row < m_rows.rows(); }
    long long count() const override { return m_rows.rows(); }
    Value value(long long row, int column) const override {
        if (!hasRow(row))
            noCurrentRecord();
        const long long at = m_order.empty() ? row : m_order[static_cast<std::size_t>(row)];
        return m_rows.value(at, column, static_cast<int>(m_fields.size()));
    }

private:
    // As ORDER BY sorts whole numbers: ascending with Nulls last, descending with Nulls first.
    void sort(int column, bool descending) {
        struct Key {
            bool null;
            std::int64_t value;
            std::uint32_t row;
        };
        const auto before = [descending](const Key& a, const Key& b) {
            if (a.null != b.null)
                return descending ? a.null : b.null;
            return descending ? a.value > b.value : a.value < b.value;
        };
        const int columns = static_cast<int>(m_fields.size());
        const auto keyOf = [&](long long r) {
            const std::optional<std::int64_t> v = m_rows.integer(r, column, columns);
            return Key{!v, v.value_or(0), static_cast<std::uint32_t>(r)};
        };
        // Rows often come in that order already (a table filled in identifier order, rows numbered by
        // place): then nothing is sorted or kept.
        bool sorted = true;
        for (long long r = 1; r < m_rows.rows() && sorted; ++r)
            sorted = !before(keyOf(r), keyOf(r - 1));
        if (sorted)
            return;
        std::vector<Key> keys;
        keys.reserve(static_cast<std::size_t>(m_rows.rows()));
        for (long long r = 0; r < m_rows.rows(); ++r)
            keys.push_back(keyOf(r));
        std::stable_sort(keys.begin(), keys.end(), before);
        m_order.reserve(keys.size());
        for (const Key& k : keys)
            m_order.push_back(k.row);
    }

    std::vector<Field> m_fields;
    std::vector<unsigned> m_oids;
    PackedRows m_rows;
    std::vector<std::uint32_t> m_order; // row -> place in m_rows, when sorted here
};

// Rows read when first needed: the columns at once, then a first screen, and the rest only when a row
// beyond it is asked for. Counting asks the server.
class LazyRows final : public RecordSource {
public:
    static constexpr long long kFirstBlock = 200;

    LazyRows(std::shared_ptr<PgBackend> backend, PgBackend::Statement statement)
        : m_backend(std::move(backend)), m_statement(std::move(statement)) {
        m_backend->readRows(
            m_statement, 0,
            [&](const std::vector<Column>& columns) {
                m_fields = fieldsOf(columns);
                m_oids = oidsOf(columns);
            },
            [](const Row&) {});
    }
    const std::vector<Field>& columns() const override { return m_fields; }
    bool hasRow(long long row) const override {
        if (row < 0)
            return false;
        load(row);
        return row < m_rows.rows();
    }
    long long count() const override {
        if (m_all)
            return m_rows.rows();
        if (m_count < 0)
            m_count = m_backend->countRows(m_statement);
        return m_count;
    }
    Value value(long long row, int column) const override {
        if (!hasRow(row))
            noCurrentRecord();
        return m_rows.value(row, column, static_cast<int>(m_fields.size()));
    }

private:
    void load(long long row) const {
        if (m_all || row < m_rows.rows())
            return;
        const long long limit = row < kFirstBlock && !m_loaded ? kFirstBlock : -1;
        m_rows.clear();
        m_backend->readRows(
            m_statement, limit, [](const std::vector<Column>&) {}, [&](const Row& r) { m_rows.append(r, m_oids); });
        m_loaded = true;
        m_all = limit < 0 || m_rows.rows() < limit;
    }

    std::shared_ptr<PgBackend> m_backend;
    PgBackend::Statement m_statement;
    std::vector<Field> m_fields;
    std::vector<unsigned> m_oids;
    mutable PackedRows m_rows;
    mutable bool m_loaded = false;
    mutable bool m_all = false;
    mutable long long m_count = -1;
};

} // namespace

std::shared_ptr<RecordSource> makeSnapshotRows(PgBackend& backend, const PgBackend::Statement& statement) {
    return std::make_shared<SnapshotRows>(backend, statement);
}

std::shared_ptr<RecordSource> makeLazyRows(std::shared_ptr<PgBackend> backend, PgBackend::Statement statement) {
    return std::make_shared<LazyRows>(std::move(backend), std::move(statement));
}

} // namespace db::pg
