// The three kinds of rows a record set reads: a list in memory (schema rowsets), a snapshot taken when
// the record set opens (static cursors), and a window onto a table read a block at a time (the others).
#include "db/record_source.h"
#include "db/engine.h"
#include "db/error.h"
#include "db/sql_quote.h"
#include <cstring>
#include <map>
#include <unordered_map>

namespace db {

std::shared_ptr<RecordSource> makeSnapshotSource(Engine& engine, std::vector<Field> columns, sqlite3_stmt* stmt,
                                                 const std::string& table);

namespace {

[[noreturn]] void noCurrentRecord() {
    throw Error(err::NoCurrentRecord, "No current record: the position is before the first or after the last row.");
}

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

// Rows packed one after another in one buffer: a tag byte per cell, integers as zig-zag varints, text
// and blobs with a varint length. A million-row scan then costs tens of bytes per row, not hundreds, and
// reading one cell makes no value of the others.
class PackedRows {
public:
    void append(const sqlite::Api& api, sqlite3_stmt* stmt, int columns) {
        m_offsets.push_back(m_data.size());
        for (int c = 0; c < columns; ++c) {
            switch (api.columnType(stmt, c)) {
            case SQLITE_INTEGER: {
                const auto i = api.columnInt64(stmt, c);
                const auto v = static_cast<std::uint64_t>(i);
                m_data.push_back(kInteger);
                putVarint((v << 1) ^ (i < 0 ? ~std::uint64_t{0} : 0));
                break;
            }
            case SQLITE_FLOAT: {
                const double d = api.columnDouble(stmt, c);
                unsigned char bytes[sizeof d];
                std::memcpy(bytes, &d, sizeof d);
                m_data.push_back(kReal);
                m_data.insert(m_data.end(), bytes, bytes + sizeof d);
                break;
            }
            case SQLITE_TEXT: {
                const auto* p = api.columnText(stmt, c);
                const auto len = static_cast<std::size_t>(api.columnBytes(stmt, c));
                m_data.push_back(kText);
                putVarint(len);
                m_data.insert(m_data.end(), p, p + len);
                break;
            }
            case SQLITE_BLOB: {
                const auto* p = static_cast<const unsigned char*>(api.columnBlob(stmt, c));
                const auto len = static_cast<std::size_t>(api.columnBytes(stmt, c));
                m_data.push_back(kBlob);
                putVarint(len);
                if (len)
                    m_data.insert(m_data.end(), p, p + len);
                break;
            }
            default:
                m_data.push_back(kNull);
            }
        }
    }

    void finish() {
        m_data.shrink_to_fit();
        m_offsets.shrink_to_fit();
    }

    long long rows() const { return static_cast<long long>(m_offsets.size()); }

    // The cell of a row that exists; a column past the row's end is Null.
    Value value(long long row, int column, int columns) const {
        if (column < 0 || column >= columns)
            return Value();
        std::size_t at = m_offsets[static_cast<std::size_t>(row)];
        for (int c = 0; c < column; ++c)
            skip(at);
        switch (m_data[at++]) {
        case kInteger: {
            const std::uint64_t z = getVarint(at);
            return Value(static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1)));
        }
        case kReal: {
            double d;
            std::memcpy(&d, m_data.data() + at, sizeof d);
            return Value(d);
        }
        case kText: {
            const auto len = static_cast<std::size_t>(getVarint(at));
            return Value(std::string(reinterpret_cast<const char*>(m_data.data() + at), len));
        }
        case kBlob: {
            const auto len = static_cast<std::size_t>(getVarint(at));
            Blob b;
            b.bytes.assign(m_data.begin() + static_cast<std::ptrdiff_t>(at),
                           m_data.begin() + static_cast<std::ptrdiff_t>(at + len));
            return Value(std::move(b));
        }
        default:
            return Value();
        }
    }

private:
    enum : unsigned char { kNull, kInteger, kReal, kText, kBlob };

    void putVarint(std::uint64_t v) {
        while (v >= 0x80) {
            m_data.push_back(static_cast<unsigned char>(v | 0x80));
            v >>= 7;
        }
        m_data.push_back(static_cast<unsigned char>(v));
    }

    std::uint64_t getVarint(std::size_t& at) const {
        std::uint64_t v = 0;
        int shift = 0;
        while (true) {
            const unsigned char b = m_data[at++];
            v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80))
                return v;
            shift += 7;
        }
    }

    void skip(std::size_t& at) const {
        switch (m_data[at++]) {
        case kInteger:
            getVarint(at);
            break;
        case kReal:
            at += sizeof(double);
            break;
        case kText:
        case kBlob:
            at += static_cast<std::size_t>(getVarint(at));
            break;
        default:
            break;
        }
    }

    std::vector<unsigned char> m_data;
    std::vector<std::size_t> m_offsets;
};

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
// As a snapshot (of a table only this connection changes) it counts its rows at once, copies them into
// memory when told that the table is about to change, and reads only the columns asked for so far (a
// walk over one column does not pay for the others).
class LazySource final : public RecordSource {
public:
    LazySource(std::shared_ptr<Engine> engine, std::vector<Field> columns, std::vector<std::string> columnSql,
               std::string table, const std::string& fromTable, const std::string& rowid, const std::string& condition,
               std::optional<Value> conditionValue, bool snapshot)
        : m_engine(std::move(engine)), m_columns(std::move(columns)), m_table(std::move(table)),
          m_conditionValue(std::move(conditionValue)), m_snapshot(snapshot), m_columnSql(std::move(columnSql)) {
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
        const std::string rowsFrom =
            "SELECT " + selectList + from + " WHERE " + (condition.empty() ? "" : condition + " AND ") + rowid;
        m_single = m_engine->prepare(rowsFrom + " = ?2", m_table);
        m_nth = m_engine->prepare(rowsFrom + " > ?2" + order + " LIMIT 1 OFFSET ?3", m_table);
        if (snapshot)
            count();
    }

    const std::vector<Field>& columns() const override { return m_columns; }

    bool hasRow(long long row) const override {
        if (m_frozen)
            return m_frozen->hasRow(row);
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
    std::string m_all; // every row, in order: what a freeze copies
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

std::shared_ptr<RecordSource> makeMemorySource(std::vector<Field> columns, std::vector<std::vector<Value>> rows) {
    return std::make_shared<MemorySource>(std::move(columns), std::move(rows));
}

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

std::shared_ptr<RecordSource> makeLazySource(std::shared_ptr<Engine> engine, std::vector<Field> columns,
                                             std::vector<std::string> columnSql, std::string table, std::string from,
                                             std::string rowid, std::string condition,
                                             std::optional<Value> conditionValue, bool snapshot) {
    return std::make_shared<LazySource>(std::move(engine), std::move(columns), std::move(columnSql), std::move(table),
                                        from, rowid, condition, std::move(conditionValue), snapshot);
}

} // namespace db
