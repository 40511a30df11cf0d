#include "access/copy_writer.h"
#include "db/bulk_writer.h"
#include "db/error.h"
#include <charconv>
#include <cmath>
#include <optional>

namespace accessdb {

namespace {

// Rows a transaction holds, and how often the reading side says how far it is.
constexpr long long kBatchRows = 10000;
constexpr long long kProgressRows = 1000;

// Currency and Decimal arrive as exact decimal text; the columns' numeric affinity would turn the text
// into a number anyway, so it goes in as one.
db::Value decimalValue(const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    std::int64_t whole = 0;
    if (auto r = std::from_chars(first, last, whole); r.ec == std::errc() && r.ptr == last)
        return db::Value(whole);
    double real = 0;
    if (auto r = std::from_chars(first, last, real); r.ec == std::errc() && r.ptr == last && !text.empty())
        return db::Value(real);
    return db::Value(text);
}

} // namespace

db::Value storedValue(ColumnType type, const db::Value& value) {
    if (value.isReal() && std::isnan(value.asReal()))
        return {}; // SQLite has no NaN
    if (value.isReal() && type == ColumnType::Single && std::isfinite(value.asReal())) {
        // 0.1, not 0.100000001490116: the decimal a user typed into the Single column.
        char buf[32];
        const auto printed = std::to_chars(buf, buf + sizeof buf, static_cast<float>(value.asReal()));
        double real = 0;
        std::from_chars(buf, printed.ptr, real);
        return db::Value(real);
    }
    if (value.isText() && (type == ColumnType::Currency || type == ColumnType::Numeric))
        return decimalValue(value.asText());
    return value;
}

CopyResult writeAccessCopy(const std::string& accessPath, const std::string& target, const std::string& password,
                           const CopyProgressCallback& progress) {
    const Reader reader(accessPath, password);
    const std::string key = reader.passwordProtected() ? password : std::string();

    // Every definition is read before anything is written: a damaged one refuses the copy at once.
    std::vector<Table> tables;
    for (const std::string& name : reader.tableNames())
        tables.push_back(reader.table(name));

    // The copy is a file of its own until it is complete, so the writer keeps neither a journal nor syncs:
    // a failure throws the whole file away, and it is synced once before it is given its name.
    std::string schema;
    for (const Table& table : tables)
        schema += createTableSql(table) + ";\n";
    schema += std::string("CREATE TABLE ") + kSourceTable + " (path TEXT, bytes INTEGER, modified INTEGER);\n";
    auto failed = [&](const Table& table, const db::Error& e) {
        return db::Error(e.number(), "The table '" + table.name + "' of the Access file '" + accessPath +
                                         "' could not be copied into '" + target + "': " + e.description());
    };
    std::optional<db::BulkWriter> writer;
    try {
        writer.emplace(target, key, schema);
        const CopySource source = currentSource(accessPath);
        writer->insert(writer->prepareInsert(kSourceTable, 3),
                       {db::Value(source.path), db::Value(static_cast<std::int64_t>(source.bytes)),
                        db::Value(static_cast<std::int64_t>(source.modified))});
    } catch (const db::Error& e) {
        throw db::Error(e.number(), "The SQLite copy '" + target + "' of the Access file '" + accessPath +
                                        "' cannot be made: " + e.description());
    }

    CopyResult result;
    const int tableCount = static_cast<int>(tables.size());
    long long batchRows = 0;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const Table& table = tables[t];
        long long done = 0;
        auto carryOn = [&] {
            return !progress || progress({table.name, static_cast<int>(t), tableCount, done, table.rowCount});
        };
        if (!carryOn())
            return {true, {}};
        std::vector<ColumnType> types;
        for (const Column& c : table.columns)
            types.push_back(c.type);
        int insert = 0;
        try {
            insert = writer->prepareInsert(table.name, types.size());
        } catch (const db::Error& e) {
            throw failed(table, e);
        }
        bool cancelled = false;
        std::vector<db::Value> values(types.size());
        reader.readRows(table.name, [&](const Row& row) {
            for (std::size_t i = 0; i < row.size(); ++i)
                values[i] = storedValue(types[i], row[i]);
            try {
                writer->insert(insert, values);
                if (++batchRows >= kBatchRows) {
                    writer->commit();
                    batchRows = 0;
                }
            } catch (const db::Error& e) {
                throw failed(table, e);
            }
            if (++done % kProgressRows != 0)
                return true;
            cancelled = !carryOn();
            return !cancelled;
        });
        if (cancelled)
            return {true, {}};
        result.tables.push_back({table.name, done});
    }
    try {
        writer->finish();
    } catch (const db::Error& e) {
        throw db::Error(e.number(), "The SQLite copy '" + target + "' of the Access file '" + accessPath +
                                        "' cannot be completed: " + e.description());
    }
    return result;
}

} // namespace accessdb
