#include "db/pg/scroll_source.h"
#include "db/pg/rows.h"
#include "db/error.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include "db/wait_yield.h"
#include <algorithm>
#include <libpq-fe.h>
#include <list>
#include <set>

namespace db::pg {

namespace {

ScrollCounters g_counters;

// Cells longer than a grid shows (1000 bytes) are cut on the server to just beyond that, so the grid still
// sees that they go on.
constexpr int kCutCharacters = 1001;
constexpr int kCutBytes = 501; // a blob shows as two hex digits a byte
// Blocks kept: the screen being looked at and the ones either side of it.
constexpr std::size_t kKeptBlocks = 6;

enum Oid : unsigned { kBool = 16, kBytea = 17, kFloat4 = 700, kFloat8 = 701, kDate = 1082, kTimestamp = 1114,
                      kTimestampTz = 1184, kNumeric = 1700, kUuid = 2950 };

// What a column of this type is read as: itself (short by nature), a cut blob, or cut text.
std::string cellExpression(const Column& c) {
    const std::string name = "q." + quoteIdentifier(c.name);
    switch (c.typeOid) {
    case kBool:
    case kFloat4:
    case kFloat8:
    case kDate:
    case kTimestamp:
    case kTimestampTz:
    case kNumeric:
    case kUuid:
        return name;
    case kBytea:
        return "substring(" + name + " FROM 1 FOR " + std::to_string(kCutBytes) + ")";
    default:
        if (integerOid(c.typeOid))
            return name;
        return "left(" + name + "::text, " + std::to_string(kCutCharacters) + ")";
    }
}

[[noreturn]] void noCurrentRecord() {
    throw Error(err::NoCurrentRecord, "No current record: the position is before the first or after the last row.");
}

class ScrollRows final : public RecordSource {
public:
    ScrollRows(const std::string& uri, const std::string& password, const PgBackend::Statement& statement)
        : m_table(statement.table) {
        m_session = Session::connect(uri, password);
        m_session->run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        const ResultPtr described =
            m_session->exec("SELECT * FROM (" + statement.sql + ") AS q LIMIT 0", statement.params, true, m_table);
        std::vector<Column> columns;
        std::set<std::string> names;
        bool unique = true;
        for (int c = 0; c < PQnfields(described.get()); ++c) {
            columns.push_back(Column{PQfname(described.get(), c), static_cast<unsigned>(PQftype(described.get(), c))});
            unique = names.insert(columns.back().name).second && unique;
        }
        std::string list;
        for (const Column& c : columns) {
            list += list.empty() ? "" : ", ";
            list += cellExpression(c);
            Field f;
            f.Name = c.name;
            f.Type = typeCode(c.typeOid);
            m_fields.push_back(std::move(f));
            m_oids.push_back(c.typeOid);
        }
        // Two columns of one name cannot be told apart outside the statement: those rows come uncut.
        const std::string rows = unique && !columns.empty() ? "SELECT " + list + " FROM (" + statement.sql + ") AS q"
                                                            : statement.sql;
        m_session->exec("DECLARE rowsifter_rows SCROLL CURSOR FOR " + rows, statement.params, true, m_table);
        ++g_counters.open;
    }

    ~ScrollRows() override { --g_counters.open; }

    const std::vector<Field>& columns() const override { return m_fields; }

    bool hasRow(long long row) const override {
        if (row < 0)
            return false;
        if (m_count >= 0 && row >= m_count)
            return false;
        return block(row / kScrollBlockRows) != nullptr && row < rowsKnownAt(row);
    }

    long long count() const override {
        if (m_count < 0) {
            usable();
            NoWaitYield held;
            try {
                m_session->exec("MOVE ABSOLUTE 0 IN rowsifter_rows", {}, true, m_table);
                m_count = affectedRows(m_session->exec("MOVE FORWARD ALL IN rowsifter_rows", {}, true, m_table).get());
            } catch (const Error& e) {
                lost(e);
            }
        }
        return m_count;
    }

    Value value(long long row, int column) const override {
        if (!hasRow(row))
            noCurrentRecord();
        if (column < 0 || column >= static_cast<int>(m_fields.size()))
            return Value();
        const Block* b = block(row / kScrollBlockRows);
        return b->rows[static_cast<std::size_t>(row % kScrollBlockRows)][static_cast<std::size_t>(column)];
    }

private:
    struct Block {
        long long index = 0;
        std::vector<std::vector<Value>> rows;
    };

    long long rowsKnownAt(long long row) const {
        const Block* b = block(row / kScrollBlockRows);
        return b ? b->index * kScrollBlockRows + static_cast<long long>(b->rows.size()) : 0;
    }

    // The block, from the ones kept (moved to the front) or fetched; nullptr past the end.
    const Block* block(long long index) const {
        for (auto it = m_blocks.begin(); it != m_blocks.end(); ++it) {
            if (it->index == index) {
                m_blocks.splice(m_blocks.begin(), m_blocks, it);
                return &m_blocks.front();
            }
        }
        const long long first = index * kScrollBlockRows;
        if (m_count >= 0 && first >= m_count)
            return nullptr;
        usable();
        Block fetched;
        fetched.index = index;
        // Rows are read while the grid paints: nothing else of the window may run meanwhile.
        NoWaitYield held;
        try {
            m_session->exec("MOVE ABSOLUTE " + std::to_string(first) + " IN rowsifter_rows", {}, true, m_table);
            const ResultPtr r = m_session->exec("FETCH FORWARD " + std::to_string(kScrollBlockRows) +
                                                    " FROM rowsifter_rows",
                                                {}, true, m_table);
            ++g_counters.fetches;
            const int rows = PQntuples(r.get());
            const int columns = std::min(PQnfields(r.get()), static_cast<int>(m_oids.size()));
            g_counters.rowsFetched += rows;
            fetched.rows.resize(static_cast<std::size_t>(rows));
            for (int i = 0; i < rows; ++i) {
                auto& cells = fetched.rows[static_cast<std::size_t>(i)];
                cells.resize(m_fields.size());
                for (int c = 0; c < columns; ++c) {
                    if (!PQgetisnull(r.get(), i, c))
                        cells[static_cast<std::size_t>(c)] =
                            valueFromText(m_oids[static_cast<std::size_t>(c)],
                                          {PQgetvalue(r.get(), i, c), static_cast<std::size_t>(PQgetlength(r.get(), i, c))});
                }
            }
            if (rows < kScrollBlockRows)
                m_count = first + rows;
        } catch (const Error& e) {
            lost(e);
        }
        if (fetched.rows.empty())
            return nullptr;
        m_blocks.push_front(std::move(fetched));
        if (m_blocks.size() > kKeptBlocks)
            m_blocks.pop_back();
        return &m_blocks.front();
    }

    // After one failure (the connection lost, the server gone) every later read fails at once with it:
    // nothing waits for that server again.
    void usable() const {
        if (m_failure)
            throw *m_failure;
    }
    [[noreturn]] void lost(const Error& e) const {
        m_failure = e;
        m_blocks.clear();
        throw e;
    }

    std::unique_ptr<Session> m_session;
    std::string m_table;
    std::vector<Field> m_fields;
    std::vector<unsigned> m_oids;
    mutable std::list<Block> m_blocks; // most recently used first
    mutable long long m_count = -1;
    mutable std::optional<Error> m_failure;
};

} // namespace

std::shared_ptr<RecordSource> openScrollRows(const std::string& uri, const std::string& password,
                                             const PgBackend::Statement& statement) {
    return std::make_shared<ScrollRows>(uri, password, statement);
}

ScrollCounters scrollCounters() {
    return g_counters;
}

} // namespace db::pg
