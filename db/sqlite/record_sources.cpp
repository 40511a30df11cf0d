// The record sources of an SQLite file (see record_sources.h).
#include "db/sqlite/record_sources.h"
#include "db/sqlite/engine.h"
#include "db/sqlite/packed_rows.h"
#include <map>
#include <unordered_map>

namespace db::sqlite {

namespace {

// A snapshot taken when the record set opens (static cursors).
class SnapshotSource final : public RecordSource {
public:
    explicit SnapshotSource(std::vector<Field> columns) : m_columns(std::move(columns)) {}

    void append(const sqlite::Api& api, sqlite3_stmt* stmt) {
        m_rows.append(api, stmt, static_cast<int>(m_columns.size()));
    }
    void finish() { m_rows.finish(); }

    const std::vector<Field>& columns() const override { return m_columns; }
    bool hasRow(long long row) const override { return row >= 0 && row < count(); }
    long long count() const override { return m_rows.rows(); }

    Value value(long long row, int column) const override {
        if (!hasRow(row))
            noCurrentRecord();
        return m_rows.value(row, column, static_cast<int>(m_columns.size()));
    }

private:
    std::vector<Field> m_columns;
    PackedRows m_rows;
};

// A window onto a table in rowid order. Blocks of rows are read on demand and only a few are kept, so
// showing the first screen of a huge table reads one block, and memory does not grow with the table.
// Block k starts after the last rowid of block k - 1; those boundaries are learnt as blocks are read.
// As a snapshot (of a table only this connection changes) it learns its count at once, copies its rows into
// memory when told that the table is about to change, and otherwise reads only the columns asked for so far
// (a walk over one column does not pay for the others). It learns the count by reading its rows ahead, as
// its reader will read them all anyway: a table whose rows fit in kReadAheadBytes is read once, not counted
// first (a read of every page, and on an encrypted file a decryption of every page) and read after. A
// larger one keeps the rows read so far until its reader has passed them, and is counted.
class LazySource final : public RecordSource {
public:
    LazySource(std::shared_ptr<Engine> engine, TableWindow window)
        : m_engine(std::move(engine)), m_columns(std::move(window.columns)), m_table(std::move(window.table)),
          m_conditionValue(std::move(window.conditionValue)), m_snapshot(window.snapshot),
          m_columnSql(std::move(window.columnSql)) {
        const std::string& fromTable = window.from;
        const std::string& rowid = window.rowid;
        const std::string& condition = window.condition;
        const bool snapshot = window.snapshot;
        m_allColumns = m_columns.size() >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m_columns.size()) - 1;
        m_asked = snapshot ? 0 : m_allColumns;
        std::string selectList;
        for (const auto& c : m_columnSql)
            selectList += (selectList.empty() ? "" : ", ") + c;
        const std::string from = " FROM " + fromTable;
        const std::string where = condition.empty() ? "" : " WHERE " + condition;
        const std::string whereAfter = " WHERE " + (condition.empty() ? "" : condition + " AND ") + rowid + " > ?2";
        const std::string order = " ORDER BY " + rowid;
        const std::string limit = " LIMIT " + std::to_string(kBlockRows);
        const std::string rows = "SELECT " + selectList + ", " + rowid + from;
        m_rowid = rowid;
        m_where = where;
        m_whereAfter = whereAfter;
        m_from = from;
        m_orderLimit = order + limit;
        m_skipFirst = m_engine->prepare("SELECT " + rowid + from + where + order, m_table);
        m_skipNext = m_engine->prepare("SELECT " + rowid + from + whereAfter + order, m_table);
        m_count = m_engine->prepare("SELECT count(*)" + from + where, m_table);
        m_all = rows + where + order;
        m_rowCount = window.rowCount;
        const std::string rowsFrom =
            "SELECT " + selectList + from + " WHERE " + (condition.empty() ? "" : condition + " AND ") + rowid;
        m_single = m_engine->prepare(rowsFrom + " = ?2", m_table);
        m_nth = m_engine->prepare(rowsFrom + " > ?2" + order + " LIMIT 1 OFFSET ?3", m_table);
        if (snapshot && !m_rowCount)
            readAhead();
    }

    const std::vector<Field>& columns() const override { return m_columns; }

    bool hasRow(long long row) const override {
        if (m_frozen)
            return m_frozen->hasRow(row);
        if (m_ahead && row >= 0 && row < m_ahead->rows())
            return true;
        if (m_snapshot)
            return row >= 0 && row < count();
        return row >= 0 && block(row / kBlockRows, 0)->rows > row % kBlockRows;
    }

    void freeze() override {
        if (m_frozen)
            return;
        auto stmt = m_engine->prepare(m_all, m_table);
        bindCondition(stmt.get());
        m_frozen = makeSnapshotSource(*m_engine, m_columns, stmt.get(), m_table);
        m_blocks.clear();
        m_ahead.reset();
    }

    long long count() const override {
        if (m_frozen)
            return m_frozen->count();
        if (!m_rowCount) {
            sqlite::ResetOnExit reset(api(), m_count.get());
            bindCondition(m_count.get());
            const int rc = api().step(m_count.get());
            if (rc != SQLITE_ROW)
                m_engine->raise(rc, m_table);
            m_rowCount = api().columnInt64(m_count.get(), 0);
        }
        return *m_rowCount;
    }

    Value value(long long row, int column) const override {
        if (m_frozen)
            return m_frozen->value(row, column);
        if (row < 0)
            noCurrentRecord();
        if (m_ahead) {
            if (row < m_ahead->rows())
                return m_ahead->value(row, column, static_cast<int>(m_columns.size()));
            // Past the rows read ahead of a table too large to keep: they go once the reader has passed them.
            if (m_aheadPartial && row == m_ahead->rows())
                m_ahead.reset();
        }
        // A look back at a row of a block no longer kept (as when a key is checked against an earlier
        // row's) reads that row alone: reading its whole block again would cost a block per look. Rows
        // read in order, and the first of a block, are read by the block.
        const long long k = row / kBlockRows;
        const bool inOrder = row == m_inOrder || row == m_inOrder + 1 || row % kBlockRows == 0;
        if (inOrder)
            m_inOrder = row;
        if (m_snapshot && !inOrder && k > 0 && k <= static_cast<long long>(m_lastRowid.size()) && !m_blocks.count(k)) {
            if (column < 0 || static_cast<std::size_t>(column) >= m_columns.size())
                return Value();
            return singleRow(row)[static_cast<std::size_t>(column)];
        }
        const auto b = block(k, column >= 0 && column < 64 ? std::uint64_t{1} << column : m_allColumns);
        const long long r = row % kBlockRows;
        if (r >= b->rows)
            noCurrentRecord();
        return b->values.value(r, column, static_cast<int>(m_columns.size()));
    }

private:
    static constexpr long long kBlockRows = 256;
    static constexpr std::size_t kReadAheadBytes = std::size_t{48} << 20;

    // Reads every column of the first rows, whole blocks of them, until the rows end (the count is then
    // known) or kReadAheadBytes are read (the table is then counted).
    void readAhead() const {
        m_asked = m_allColumns;
        auto ahead = std::make_unique<PackedRows>();
        auto stmt = m_engine->prepare(m_all, m_table); // its last column is the rowid
        sqlite::ResetOnExit reset(api(), stmt.get());
        bindCondition(stmt.get());
        const int n = static_cast<int>(m_columns.size());
        long long rows = 0;
        int rc;
        while ((rc = api().step(stmt.get())) == SQLITE_ROW) {
            ahead->append(api(), stmt.get(), n);
            if (++rows % kBlockRows == 0) {
                m_lastRowid.push_back(api().columnInt64(stmt.get(), n));
                if (ahead->memoryBytes() > kReadAheadBytes)
                    break;
            }
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_engine->raise(rc, m_table);
        m_ahead = std::move(ahead);
        if (rc == SQLITE_DONE) {
            m_rowCount = rows;
            m_endBlock = rows % kBlockRows ? rows / kBlockRows + 1 : rows / kBlockRows;
        } else {
            m_aheadPartial = true;
            count();
        }
    }

    static constexpr std::size_t kMaxBlocks = 64;

    struct Block {
        long long rows = 0;
        std::uint64_t mask = 0; // the columns read; the others hold Null
        PackedRows values;
    };
    struct Cached {
        std::shared_ptr<const Block> block;
        unsigned long long used = 0;
    };

    const sqlite::Api& api() const { return m_engine->api(); }

    // One row of block k > 0, whose boundaries are known: by its rowid when the block's rowids run without
    // gaps, otherwise by its place after the previous block's last rowid.
    const std::vector<Value>& singleRow(long long row) const {
        if (row == m_singleRow)
            return m_singleValues;
        const auto k = static_cast<std::size_t>(row / kBlockRows);
        const long long r = row % kBlockRows;
        const std::int64_t after = m_lastRowid[k - 1];
        const bool dense = k < m_lastRowid.size() && m_lastRowid[k] - after == kBlockRows;
        sqlite3_stmt* stmt = dense ? m_single.get() : m_nth.get();
        sqlite::ResetOnExit reset(api(), stmt);
        bindCondition(stmt);
        if (dense) {
            api().bindInt64(stmt, 2, after + 1 + r);
        } else {
            api().bindInt64(stmt, 2, after);
            api().bindInt64(stmt, 3, r);
        }
        const int rc = api().step(stmt);
        if (rc == SQLITE_DONE)
            noCurrentRecord();
        if (rc != SQLITE_ROW)
            m_engine->raise(rc, m_table);
        m_singleValues.clear();
        for (int c = 0; c < static_cast<int>(m_columns.size()); ++c)
            m_singleValues.push_back(sqlite::columnValue(api(), stmt, c));
        m_singleRow = row;
        return m_singleValues;
    }

    void bindCondition(sqlite3_stmt* stmt) const {
        if (m_conditionValue)
            sqlite::bindValue(api(), stmt, 1, *m_conditionValue);
    }

    // Walks rowids from the last known boundary until block k's start is known (or the rows run out).
    void learnBoundaries(long long k) const {
        sqlite3_stmt* stmt = m_lastRowid.empty() ? m_skipFirst.get() : m_skipNext.get();
        sqlite::ResetOnExit reset(api(), stmt);
        bindCondition(stmt);
        if (!m_lastRowid.empty())
            api().bindInt64(stmt, 2, m_lastRowid.back());
        long long seen = 0;
        int rc;
        while ((rc = api().step(stmt)) == SQLITE_ROW) {
            if (++seen % kBlockRows == 0) {
                m_lastRowid.push_back(api().columnInt64(stmt, 0));
                if (static_cast<long long>(m_lastRowid.size()) >= k)
                    return;
            }
        }
        if (rc != SQLITE_DONE)
            m_engine->raise(rc, m_table);
        const auto known = static_cast<long long>(m_lastRowid.size());
        m_endBlock = seen % kBlockRows ? known + 1 : known;
    }

    // The statement that reads a block with the columns of `mask` (the others as Null).
    sqlite3_stmt* blockStatement(bool first, std::uint64_t mask) const {
        auto& pair = m_blockStatements[mask];
        auto& stmt = first ? pair.first : pair.second;
        if (!stmt) {
            std::string list;
            for (std::size_t c = 0; c < m_columnSql.size(); ++c)
                list += (c ? ", " : "") + (c >= 64 || (mask >> c) & 1 ? m_columnSql[c] : std::string("NULL"));
            stmt = m_engine->prepare(
                "SELECT " + list + ", " + m_rowid + m_from + (first ? m_where : m_whereAfter) + m_orderLimit, m_table);
        }
        return stmt.get();
    }

    std::shared_ptr<const Block> block(long long k, std::uint64_t need) const {
        ++m_clock;
        if (auto it = m_blocks.find(k); it != m_blocks.end()) {
            if ((it->second.block->mask & need) == need) {
                it->second.used = m_clock;
                return it->second.block;
            }
            m_blocks.erase(it); // read again with the column now asked for
        }
        m_asked |= need;
        static const auto empty = std::make_shared<const Block>();
        if (m_endBlock >= 0 && k >= m_endBlock)
            return empty;
        if (k > 0 && static_cast<long long>(m_lastRowid.size()) < k) {
            learnBoundaries(k);
            if (static_cast<long long>(m_lastRowid.size()) < k)
                return empty;
        }

        auto b = std::make_shared<Block>();
        b->mask = m_asked;
        sqlite3_stmt* stmt = blockStatement(k == 0, m_asked);
        sqlite::ResetOnExit reset(api(), stmt);
        bindCondition(stmt);
        if (k > 0)
            api().bindInt64(stmt, 2, m_lastRowid[static_cast<std::size_t>(k - 1)]);
        const int n = static_cast<int>(m_columns.size());
        std::int64_t last = 0;
        int rc;
        while ((rc = api().step(stmt)) == SQLITE_ROW) {
            b->values.append(api(), stmt, n);
            last = api().columnInt64(stmt, n);
            ++b->rows;
        }
        if (rc != SQLITE_DONE)
            m_engine->raise(rc, m_table);
        if (b->rows == kBlockRows && static_cast<long long>(m_lastRowid.size()) == k)
            m_lastRowid.push_back(last);
        if (b->rows < kBlockRows)
            m_endBlock = b->rows ? k + 1 : k;

        if (m_blocks.size() >= kMaxBlocks) {
            auto oldest = m_blocks.begin();
            for (auto it = m_blocks.begin(); it != m_blocks.end(); ++it)
                if (it->second.used < oldest->second.used)
                    oldest = it;
            m_blocks.erase(oldest);
        }
        m_blocks[k] = Cached{b, m_clock};
        return b;
    }

    std::shared_ptr<Engine> m_engine; // first: the statements below go before the connection does
    std::vector<Field> m_columns;
    std::string m_table;
    std::optional<Value> m_conditionValue;
    bool m_snapshot;
    std::vector<std::string> m_columnSql;
    std::uint64_t m_allColumns = 0;
    mutable std::uint64_t m_asked = 0; // columns asked for so far
    std::string m_rowid, m_from, m_where, m_whereAfter, m_orderLimit;
    mutable std::map<std::uint64_t, std::pair<sqlite::StatementPtr, sqlite::StatementPtr>> m_blockStatements;
    sqlite::StatementPtr m_skipFirst, m_skipNext, m_count, m_single, m_nth;
    std::string m_all;                           // every row, in order: what a freeze copies
    mutable std::unique_ptr<PackedRows> m_ahead; // the first rows of a snapshot, read ahead
    mutable bool m_aheadPartial = false;         // whether they are not all of its rows
    std::shared_ptr<RecordSource> m_frozen;
    mutable long long m_singleRow = -1;
    mutable long long m_inOrder = -1; // the last row read in order
    mutable std::vector<Value> m_singleValues;

    mutable std::vector<std::int64_t> m_lastRowid; // last rowid of each complete block read so far
    mutable long long m_endBlock = -1;             // first block known to hold no rows; -1 while unknown
    mutable std::optional<long long> m_rowCount;
    mutable std::unordered_map<long long, Cached> m_blocks;
    mutable unsigned long long m_clock = 0;
};

} // namespace

std::shared_ptr<RecordSource> makeSnapshotSource(Engine& engine, std::vector<Field> columns, sqlite3_stmt* stmt,
                                                 const std::string& table) {
    auto source = std::make_shared<SnapshotSource>(std::move(columns));
    const sqlite::Api& api = engine.api();
    sqlite::ResetOnExit reset(api, stmt);
    int rc;
    while ((rc = api.step(stmt)) == SQLITE_ROW)
        source->append(api, stmt);
    if (rc != SQLITE_DONE)
        engine.raise(rc, table);
    source->finish();
    return source;
}

std::shared_ptr<RecordSource> makeLazySource(std::shared_ptr<Engine> engine, TableWindow window) {
    return std::make_shared<LazySource>(std::move(engine), std::move(window));
}

} // namespace db::sqlite
