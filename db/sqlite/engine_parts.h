#pragma once
// What the files that define the SQLite engine share: its names and version thresholds, a few helpers
// for the SQL it writes, a schema change's transaction, and a work table's record. Private to db/sqlite/.
#include "db/ascii.h"
#include "db/error.h"
#include "db/reserved_names.h"
#include "db/sql_quote.h"
#include "db/sqlite/engine.h"
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace db::sqlite {

inline constexpr int kBusyTimeoutMs = 2000;
inline constexpr const char* kInternalPrefix = kInternalTablePrefix;
inline constexpr const char* kWorkSchemaPrefix = "rowsifter_work_";
inline constexpr const char* kKeptFunction = "rowsifter_kept";
inline constexpr int kWorkCacheKiB = 16384;        // the work table is read in rowid order: a small cache does
inline constexpr int kTableXinfoVersion = 3026000; // PRAGMA table_xinfo, legacy_alter_table
inline constexpr int kTableListVersion = 3037000;  // PRAGMA table_list, STRICT tables

using ascii::equalNoCase;
using ascii::startsWithNoCase;

// A declared type goes back into a CREATE TABLE as written when it is plain type text; anything stranger
// is quoted so that it can only ever be read as a type name.
inline std::string typeClause(const std::string& declared) {
    if (declared.empty())
        return {};
    for (char c : declared) {
        const auto u = static_cast<unsigned char>(c);
        if (!(ascii::isAlnum(u) || c == ' ' || c == '(' || c == ')' || c == ',' || c == '_' || c == '+' || c == '-' ||
              c == '.'))
            return " " + quoteIdentifier(declared);
    }
    return " " + declared;
}

// The collating sequence a copy of the column declares, so that its values compare as in the original.
inline std::string collateClause(const ColumnDef& column) {
    return column.collation.empty() ? std::string() : " COLLATE " + quoteIdentifier(column.collation);
}

inline std::string joinQuoted(const TableInfo& t, const std::vector<int>& indexes) {
    std::string out;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (i)
            out += ", ";
        out += quoteIdentifier(t.columns[static_cast<std::size_t>(indexes[i])].name);
    }
    return out;
}

// The same columns as statements read them (a borrowed work table's numbering column is a rowid).
inline std::string joinRead(const TableInfo& t, const std::vector<int>& indexes) {
    std::string out;
    for (std::size_t i = 0; i < indexes.size(); ++i)
        out += (i ? ", " : "") + t.columnSql(indexes[i]);
    return out;
}

[[noreturn]] inline void noSuchColumn(const std::string& column, const std::string& table) {
    throw Error(err::NoSuchColumn, "Field '" + column + "' not found in table '" + table + "'.");
}

inline bool mayBeEncrypted(FileKind kind) {
    return kind == FileKind::MaybeEncrypted || kind == FileKind::LooksEncrypted;
}

// One schema change: pending deletes are committed first, and the change is committed as a whole or
// rolled back, so a failure or a killed process never leaves half of it behind.
class Engine::Transaction {
public:
    // Inside a transaction the caller holds open, the change is a savepoint of it: it is undone alone
    // when it fails, and committed only with the rest.
    explicit Transaction(Engine& engine) : m_engine(engine), m_nested(engine.m_heldTransaction) {
        m_engine.commitPending();
        m_engine.exec(m_nested ? "SAVEPOINT rowsifter_change" : "BEGIN IMMEDIATE");
    }
    ~Transaction() {
        if (m_done)
            return;
        m_engine.m_written.reset();
        if (m_nested) {
            m_engine.m_api->exec(m_engine.m_db.get(), "ROLLBACK TO rowsifter_change; RELEASE rowsifter_change", nullptr,
                                 nullptr, nullptr);
            m_engine.followAutocommit();
        } else {
            m_engine.rollbackIfOpen();
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        m_engine.exec(m_nested ? "RELEASE rowsifter_change" : "COMMIT");
        m_done = true;
    }

private:
    Engine& m_engine;
    bool m_nested;
    bool m_done = false;
};

// A work table: the database it lives in, and the deletes recorded against it.
struct Engine::WorkTable {
    std::string name;
    std::string schema;
    int number = 0;
    bool dropped = false; // gone for every statement; its database is let go at the next chance
    bool attached = true;
    std::vector<std::int64_t> gone; // rowids whose delete is recorded
    std::size_t cursor = 0;         // where the last look-up in `gone` ended: the copy asks in rowid order
    std::vector<std::weak_ptr<RecordSource>> snapshots;
    std::string source;                // not empty: the rows are this table's of the file, read in place
    std::string numberColumn;          // not empty: a numbering column added to them, the source's rowid by that name
    long long dataVersion = 0;         // the file's data version when the rows were borrowed
    std::optional<long long> rowCount; // of the borrowed rows, once counted
};

} // namespace db::sqlite
