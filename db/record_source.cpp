// The three kinds of rows a record set reads: a list in memory (schema rowsets), a snapshot taken when
// the record set opens (static cursors), and a window onto a table read a block at a time (the others).
#include "db/engine.h"
#include "db/error.h"
#include "db/sql_quote.h"
#include <cstring>
#include <unordered_map>

namespace db {

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
// and blobs with a varint length. A million-row scan then costs tens of bytes per row, not hundreds.
class SnapshotSource final : public RecordSource {
public:
    explicit SnapshotSource(std::vector<Field> columns) : m_columns(std::move(columns)) {}

    void append(const sqlite::Api& api, sqlite3_stmt* stmt) {
        m_offsets.push_back(m_data.size());
        const int n = static_cast<int>(m_columns.size());
        for (int c = 0; c < n; ++c) {
            switch (api.columnType(stmt, c)) {
            case SQLITE_INTEGER: {
                const auto v = static_cast<std::uint64_t>(api.columnInt64(stmt, c));
                m_data.push_back(kInteger);
                putVarint((v << 1) ^ (api.columnInt64(stmt, c) < 0 ? ~std::uint64_t{0} : 0));
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

    const std::vector<Field>& columns() const override { return m_columns; }
    bool hasRow(long long row) const override { return row >= 0 && row < count(); }
    long long count() const override { return static_cast<long long>(m_offsets.size()); }

    Value value(long long row, int column) const override {
        if (!hasRow(row))
            noCurrentRecord();
        if (row != m_decodedRow) {
            decode(row);
            m_decodedRow = row;
        }
        return static_cast<std::size_t>(column) < m_decoded.size() ? m_decoded[static_cast<std::size_t>(column)]
                                                                   : Value();
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

    void decode(long long row) const {
        std::size_t at = m_offsets[static_cast<std::size_t>(row)];
        m_decoded.clear();
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            switch (m_data[at++]) {
            case kInteger: {
                const std::uint64_t z = getVarint(at);
                m_decoded.emplace_back(static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1)));
                break;
            }
            case kReal: {
                double d;
                std::memcpy(&d, m_data.data() + at, sizeof d);
                at += sizeof d;
                m_decoded.emplace_back(d);
                break;
            }
            case kText: {
                const auto len = static_cast<std::size_t>(getVarint(at));
                m_decoded.emplace_back(std::string(reinterpret_cast<const char*>(m_data.data() + at), len));
                at += len;
                break;
            }
            case kBlob: {
                const auto len = static_cast<std::size_t>(getVarint(at));
                Blob b;
                b.bytes.assign(m_data.begin() + static_cast<std::ptrdiff_t>(at),
                               m_data.begin() + static_cast<std::ptrdiff_t>(at + len));
                m_decoded.emplace_back(std::move(b));
                at += len;
                break;
            }
            default:
                m_decoded.emplace_back();
            }
        }
    }

    std::vector<Field> m_columns;
    std::vector<unsigned char> m_data;
    std::vector<std::size_t> m_offsets;
    mutable long long m_decodedRow = -1;
    mutable std::vector<Value> m_decoded;
};

// A window onto a table in rowid order. Blocks of rows are read on demand and only a few are kept, so
// showing the first screen of a huge table reads one block, and memory does not grow with the table.
// Block k starts after the last rowid of block k - 1; those boundaries are learnt as blocks are read.
class LazySource final : public RecordSource {
public:
    LazySource(std::shared_ptr<Engine> engine, std::vector<Field> columns, const std::string& selectList,
               std::string table, const std::string& rowid, const std::string& condition,
               std::optional<Value> conditionValue)
        : m_engine(std::move(engine)), m_columns(std::move(columns)), m_table(std::move(table)),
          m_conditionValue(std::move(conditionValue)) {
        const std::string from = " FROM " + quoteIdentifier(m_table);
        const std::string where = condition.empty() ? "" : " WHERE " + condition;
        const std::string whereAfter = " WHERE " + (condition.empty() ? "" : condition + " AND ") + rowid + " > ?2";
        const std::string order = " ORDER BY " + rowid;
        const std::string limit = " LIMIT " + std::to_string(kBlockRows);
        const std::string rows = "SELECT " + selectList + ", " + rowid + from;
        m_first = m_engine->prepare(rows + where + order + limit, m_table);
        m_next = m_engine->prepare(rows + whereAfter + order + limit, m_table);
        m_skipFirst = m_engine->prepare("SELECT " + rowid + from + where + order, m_table);
        m_skipNext = m_engine->prepare("SELECT " + rowid + from + whereAfter + order, m_table);
        m_count = m_engine->prepare("SELECT count(*)" + from + where, m_table);
    }

    const std::vector<Field>& columns() const override { return m_columns; }

    bool hasRow(long long row) const override { return row >= 0 && block(row / kBlockRows)->rows > row % kBlockRows; }

    long long count() const override {
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
        if (row < 0)
            noCurrentRecord();
        const auto b = block(row / kBlockRows);
        const long long r = row % kBlockRows;
        if (r >= b->rows)
            noCurrentRecord();
        if (column < 0 || static_cast<std::size_t>(column) >= m_columns.size())
            return Value();
        return b->values[static_cast<std::size_t>(r) * m_columns.size() + static_cast<std::size_t>(column)];
    }

private:
    static constexpr long long kBlockRows = 256;
    static constexpr std::size_t kMaxBlocks = 64;

    struct Block {
        long long rows = 0;
        std::vector<Value> values;
    };
    struct Cached {
        std::shared_ptr<const Block> block;
        unsigned long long used = 0;
    };

    const sqlite::Api& api() const { return m_engine->api(); }

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

    std::shared_ptr<const Block> block(long long k) const {
        ++m_clock;
        if (auto it = m_blocks.find(k); it != m_blocks.end()) {
            it->second.used = m_clock;
            return it->second.block;
        }
        static const auto empty = std::make_shared<const Block>();
        if (m_endBlock >= 0 && k >= m_endBlock)
            return empty;
        if (k > 0 && static_cast<long long>(m_lastRowid.size()) < k) {
            learnBoundaries(k);
            if (static_cast<long long>(m_lastRowid.size()) < k)
                return empty;
        }

        auto b = std::make_shared<Block>();
        sqlite3_stmt* stmt = k == 0 ? m_first.get() : m_next.get();
        sqlite::ResetOnExit reset(api(), stmt);
        bindCondition(stmt);
        if (k > 0)
            api().bindInt64(stmt, 2, m_lastRowid[static_cast<std::size_t>(k - 1)]);
        const int n = static_cast<int>(m_columns.size());
        b->values.reserve(static_cast<std::size_t>(kBlockRows) * m_columns.size());
        std::int64_t last = 0;
        int rc;
        while ((rc = api().step(stmt)) == SQLITE_ROW) {
            for (int c = 0; c < n; ++c)
                b->values.push_back(sqlite::columnValue(api(), stmt, c));
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
    sqlite::StatementPtr m_first, m_next, m_skipFirst, m_skipNext, m_count;

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
                                             std::string selectList, std::string table, std::string rowid,
                                             std::string condition, std::optional<Value> conditionValue) {
    return std::make_shared<LazySource>(std::move(engine), std::move(columns), selectList, std::move(table), rowid,
                                        condition, std::move(conditionValue));
}

} // namespace db
