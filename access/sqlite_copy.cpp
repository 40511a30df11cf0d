#include "access/sqlite_copy.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/types.h"
#include "db/internal.h"
#include "db/sql_quote.h"
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace accessdb {

namespace {

namespace fs = std::filesystem;

// A batch is one script run in one transaction, bounded so that memory stays small on huge tables. Each
// batch opens the file anew, which costs an encrypted file its key derivation (some 45 ms here), so
// encrypted copies take larger batches.
struct BatchLimit {
    std::size_t rows;
    std::size_t bytes;
};
constexpr BatchLimit kPlainBatch = {5000, 4u << 20};
constexpr BatchLimit kEncryptedBatch = {100000, 32u << 20};
// The copy is a temporary file until it is complete, so its batches need neither a journal nor syncs: a
// failure throws the whole file away. It is synced once before it is moved into place.
// The program's own table in a copy (its prefix keeps it out of the table list): what it was made from.
constexpr const char* kSourceTable = "rowsifter_internal_source";
constexpr const char* kBatchStart = "PRAGMA synchronous = OFF;\nPRAGMA journal_mode = OFF;\nBEGIN;\n";
constexpr const char* kPartialMark = ".partial-";

std::string systemError(int error) {
    return std::strerror(error);
}

void appendInteger(std::string& sql, long long v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    sql.append(buf, r.ptr);
}

void appendReal(std::string& sql, double v) {
    if (std::isnan(v)) {
        sql += "NULL"; // SQLite has no NaN
        return;
    }
    if (std::isinf(v)) {
        sql += v > 0 ? "9e999" : "-9e999";
        return;
    }
    // 17 significant digits: SQLite 3.15 reads them back to the same double, which it does not always do
    // for the shorter round-trip form.
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    sql.append(buf, r.ptr);
}

// A Single as the shortest text that reads back as the same float: 0.1, not 0.100000001490116.
void appendSingle(std::string& sql, double v) {
    if (!std::isfinite(v)) {
        appendReal(sql, v);
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(v));
    sql.append(buf, r.ptr);
}

void appendText(std::string& sql, const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    if (text.find('\0') != std::string::npos) { // a NUL would end the script text: spell the bytes out
        sql += "CAST(X'";
        for (unsigned char c : text) {
            sql += hex[c >> 4];
            sql += hex[c & 15];
        }
        sql += "' AS TEXT)";
        return;
    }
    sql += '\'';
    for (char c : text) {
        if (c == '\'')
            sql += '\'';
        sql += c;
    }
    sql += '\'';
}

void appendBlob(std::string& sql, const db::Blob& blob) {
    static const char* hex = "0123456789ABCDEF";
    sql += "X'";
    for (unsigned char c : blob.bytes) {
        sql += hex[c >> 4];
        sql += hex[c & 15];
    }
    sql += '\'';
}

// Currency and Decimal arrive as exact decimal text. The columns' numeric affinity would turn that text
// into a number anyway, so it goes in as one: whole amounts as exact integers, the rest as the nearest
// double (exact to every digit for values of up to 15 significant digits).
void appendDecimal(std::string& sql, const std::string& text) {
    const char* first = text.data();
    const char* last = first + text.size();
    long long whole = 0;
    if (auto r = std::from_chars(first, last, whole); r.ec == std::errc() && r.ptr == last) {
        appendInteger(sql, whole);
        return;
    }
    double real = 0;
    if (auto r = std::from_chars(first, last, real); r.ec == std::errc() && r.ptr == last && !text.empty()) {
        appendReal(sql, real);
        return;
    }
    appendText(sql, text);
}

void appendValue(std::string& sql, ColumnType type, const db::Value& v) {
    if (v.isNull())
        sql += "NULL";
    else if (v.isInteger())
        appendInteger(sql, v.asInteger());
    else if (v.isReal())
        type == ColumnType::Single ? appendSingle(sql, v.asReal()) : appendReal(sql, v.asReal());
    else if (v.isText())
        type == ColumnType::Currency || type == ColumnType::Numeric ? appendDecimal(sql, v.asText())
                                                                    : appendText(sql, v.asText());
    else
        appendBlob(sql, v.asBlob());
}

// The copy under construction: a file beside the target with a name of its own. Unless it is moved into
// place it is removed, with any journal SQLite left beside it.
class PartialFile {
public:
    explicit PartialFile(const std::string& target) {
        const fs::path t(target);
        m_folder = t.parent_path().empty() ? fs::path(".") : t.parent_path();
        m_prefix = "." + t.filename().string() + kPartialMark;
        removeAbandoned();
        std::random_device seed;
        std::mt19937 random(seed());
        for (int attempt = 0;; ++attempt) {
            const fs::path candidate =
                m_folder / (m_prefix + std::to_string(::getpid()) + "-" + std::to_string(random() % 1000000));
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                m_path = candidate.string();
                return;
            }
            if (errno != EEXIST || attempt > 100)
                throw db::Error(db::err::ReadOnly, "The SQLite copy '" + target +
                                                       "' cannot be written in the folder '" + m_folder.string() +
                                                       "': " + systemError(errno) + ".");
        }
    }
    ~PartialFile() {
        if (!m_path.empty())
            removeFiles(m_path);
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    const std::string& path() const { return m_path; }

    // Syncs the file and gives it the target's name, failing rather than replacing anything there.
    void moveTo(const std::string& target) {
        syncPath(m_path, O_RDONLY);
        if (::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            int error = errno;
            if (error == EINVAL ||
                error == ENOSYS) { // a file system without that rename: a new link cannot replace either
                error = ::link(m_path.c_str(), target.c_str()) == 0 ? 0 : errno;
                if (error == 0)
                    ::unlink(m_path.c_str());
            }
            if (error == EEXIST)
                throw db::Error(db::err::ReadOnly, "The file '" + target +
                                                       "' appeared while the copy was made; it has not been replaced.");
            if (error != 0)
                throw db::Error(db::err::ReadOnly, "The SQLite copy cannot be given the name '" + target +
                                                       "': " + systemError(error) + ".");
        }
        m_path.clear();
        syncPath(m_folder.string(), O_RDONLY | O_DIRECTORY);
    }

private:
    static void removeFiles(const std::string& path) {
        ::unlink(path.c_str());
        ::unlink((path + "-journal").c_str());
    }

    static void syncPath(const std::string& path, int flags) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }

    // Copies of this target left by a process that no longer runs (killed mid-copy).
    void removeAbandoned() const {
        std::error_code ec;
        for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.compare(0, m_prefix.size(), m_prefix) != 0)
                continue;
            const long pid = std::strtol(name.c_str() + m_prefix.size(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                ::unlink(it->path().c_str());
        }
    }

    fs::path m_folder;
    std::string m_prefix;
    std::string m_path;
};

void refuseExisting(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0)
        throw db::Error(db::err::ReadOnly, "The file '" + path +
                                               "' already exists. The SQLite copy never replaces a file: choose "
                                               "another name or remove that file first.");
}

} // namespace

std::string declaredType(const Column& column, bool soleKey) {
    switch (column.type) {
    case ColumnType::Boolean:
        return "BIT";
    case ColumnType::Byte:
        return "TINYINT";
    case ColumnType::Integer:
        return "SMALLINT";
    case ColumnType::LongInteger:
    case ColumnType::Complex:
        // A lone "INTEGER" key would become the rowid, which would then follow the key's order instead of
        // the stored order; "INT" has the same meaning and affinity but never does.
        return soleKey ? "INT" : "INTEGER";
    case ColumnType::Currency:
        return "CURRENCY";
    case ColumnType::Single:
        return "SINGLE";
    case ColumnType::Double:
        return "DOUBLE";
    case ColumnType::DateTime:
        return "DATETIME";
    case ColumnType::Binary:
    case ColumnType::OleObject:
        return "BLOB";
    case ColumnType::Text:
        return column.size > 0 ? "TEXT(" + std::to_string(column.size) + ")" : "TEXT";
    case ColumnType::Memo:
        // Not "MEMO": that word has numeric affinity in SQLite, which would store a memo "007" as 7.
        return "LONGTEXT";
    case ColumnType::Guid:
        return "GUID";
    case ColumnType::Numeric:
        return column.precision > 0 && column.scale <= column.precision
                   ? "DECIMAL(" + std::to_string(column.precision) + "," + std::to_string(column.scale) + ")"
                   : "DECIMAL";
    }
    return {};
}

std::string createTableSql(const Table& table) {
    std::string sql = "CREATE TABLE " + db::quoteIdentifier(table.name) + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Column& c = table.columns[i];
        const bool soleKey = table.primaryKey.size() == 1 && table.primaryKey.front() == c.name;
        sql += (i ? ",\n    " : "\n    ") + db::quoteIdentifier(c.name) + " " + declaredType(c, soleKey);
    }
    if (!table.primaryKey.empty()) {
        sql += ",\n    PRIMARY KEY(";
        for (std::size_t i = 0; i < table.primaryKey.size(); ++i)
            sql += (i ? ", " : "") + db::quoteIdentifier(table.primaryKey[i]);
        sql += ")";
    }
    return sql + "\n)";
}

std::string sqlLiteral(ColumnType type, const db::Value& value) {
    std::string sql;
    appendValue(sql, type, value);
    return sql;
}

CopyResult copyAccessToSqlite(const std::string& accessPath, const std::string& sqlitePath,
                              const CopyProgressCallback& progress, const std::string& password) {
    if (sqlitePath.empty())
        throw db::Error(db::err::FileNotFound, "No file was named for the SQLite copy of '" + accessPath + "'.");
    refuseExisting(sqlitePath);
    const Reader reader(accessPath, password);
    const std::string key = reader.passwordProtected() ? password : std::string();
    const BatchLimit limit = key.empty() ? kPlainBatch : kEncryptedBatch;

    std::vector<Table> tables;
    for (const std::string& name : reader.tableNames())
        tables.push_back(reader.table(name));

    // Batches run across table boundaries, so that a file of many small tables is opened only a few times.
    // The first one creates the file and its tables.
    PartialFile partial(sqlitePath);
    std::string sql = kBatchStart;
    for (const Table& table : tables)
        sql += createTableSql(table) + ";\n";
    const CopySource source = currentSource(accessPath);
    sql += std::string("CREATE TABLE ") + kSourceTable + " (path TEXT, bytes INTEGER, modified INTEGER);\n";
    sql += std::string("INSERT INTO ") + kSourceTable + " VALUES (" + sqlLiteral(ColumnType::Text, db::Value(source.path)) +
           ", " + std::to_string(source.bytes) + ", " + std::to_string(source.modified) + ");\n";
    std::size_t batchRows = 0;
    std::size_t batchFirst = 0; // the first table with rows in the batch
    bool created = false;
    auto flush = [&](std::size_t current) {
        sql += "COMMIT;\n";
        try {
            if (created)
                db::internal::executeScript(partial.path(), key, sql);
            else
                db::internal::createDatabase(partial.path(), key, sql);
        } catch (const db::Error& e) {
            std::string names;
            for (std::size_t i = batchFirst; i <= current && i < tables.size(); ++i)
                names += (names.empty() ? "'" : ", '") + tables[i].name + "'";
            throw db::Error(e.number(), "The tables " + names + " of the Access file '" + accessPath +
                                            "' could not be copied into '" + sqlitePath + "': " + e.description());
        }
        created = true;
        sql = kBatchStart;
        batchRows = 0;
        batchFirst = current;
    };

    CopyResult result;
    const int tableCount = static_cast<int>(tables.size());
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const Table& table = tables[t];
        long long done = 0;
        auto carryOn = [&] {
            return !progress || progress({table.name, static_cast<int>(t), tableCount, done, table.rowCount});
        };
        if (!carryOn())
            return {true, {}};
        if (batchRows == 0)
            batchFirst = t;

        std::vector<ColumnType> types;
        for (const Column& c : table.columns)
            types.push_back(c.type);
        const std::string insert = "INSERT INTO " + db::quoteIdentifier(table.name) + " VALUES (";
        bool cancelled = false;
        reader.readRows(table.name, [&](const Row& row) {
            sql += insert;
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i)
                    sql += ", ";
                appendValue(sql, types[i], row[i]);
            }
            sql += ");\n";
            ++done;
            if (++batchRows < limit.rows && sql.size() < limit.bytes)
                return true;
            flush(t);
            cancelled = !carryOn();
            return !cancelled;
        });
        if (cancelled || (batchRows > 0 && !carryOn()))
            return {true, {}};
        result.tables.push_back({table.name, done});
    }
    if (!created || batchRows > 0)
        flush(tables.empty() ? 0 : tables.size() - 1);
    partial.moveTo(sqlitePath);
    return result;
}

CopySource currentSource(const std::string& accessPath) {
    struct stat st {};
    if (::stat(accessPath.c_str(), &st) != 0)
        throw db::Error(db::err::FileNotFound, "The Access file '" + accessPath + "' cannot be read.");
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(accessPath, ec);
    return {ec ? accessPath : absolute.lexically_normal().string(), static_cast<long long>(st.st_size),
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

std::optional<CopySource> copySource(const std::string& sqlitePath, const std::string& password) {
    try {
        db::Connection connection;
        connection.Open(db::BuildConnectionString(sqlitePath, password));
        db::Recordset rows;
        rows.Open(std::string("SELECT * FROM [") + kSourceTable + "]", connection, db::adOpenStatic,
                  db::adLockReadOnly);
        if (rows.EOF_() || rows.fieldCount() < 3)
            return std::nullopt;
        CopySource source;
        source.path = rows[0].toText();
        source.bytes = rows[1].isInteger() ? rows[1].asInteger() : -1;
        source.modified = rows[2].isInteger() ? rows[2].asInteger() : -1;
        return source;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

namespace {
std::string candidateName(const std::string& accessPath, const std::string& folder, int n) {
    const std::string stem = std::filesystem::path(accessPath).stem().string();
    return (std::filesystem::path(folder) / (stem + (n > 1 ? " (" + std::to_string(n) + ")" : "") + ".sqlite"))
        .string();
}
constexpr int kMostCopies = 1000;
} // namespace

std::string newCopyPath(const std::string& accessPath, const std::string& folder) {
    for (int n = 1; n <= kMostCopies; ++n) {
        const std::string candidate = candidateName(accessPath, folder, n);
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, ec)))
            return candidate;
    }
    throw db::Error(db::err::TableExists, "There are too many copies of '" + accessPath + "' in '" + folder + "'.");
}

std::optional<std::string> findCopy(const std::string& accessPath, const std::string& folder,
                                    const std::string& password) {
    const CopySource now = currentSource(accessPath);
    for (int n = 1; n <= kMostCopies; ++n) {
        const std::string candidate = candidateName(accessPath, folder, n);
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, ec)))
            return std::nullopt;
        const auto source = copySource(candidate, password);
        if (source && source->path == now.path && source->bytes == now.bytes && source->modified == now.modified)
            return candidate;
    }
    return std::nullopt;
}

} // namespace accessdb
