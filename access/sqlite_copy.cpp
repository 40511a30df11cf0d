#include "access/sqlite_copy.h"
#include "access/copy_process.h"
#include "access/copy_writer.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace accessdb {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPartialMark = ".partial-";

std::string systemError(int error) {
    return std::strerror(error);
}

// Whether `name` is that of a copy under construction (".nwind.sqlite.partial-PID-N", or its journal),
// and the process that made it.
std::optional<long> partialOwner(const std::string& name) {
    const std::size_t mark = name.rfind(kPartialMark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string::npos || mark < 2)
        return std::nullopt;
    std::string rest = name.substr(mark + std::strlen(kPartialMark));
    if (const std::string journal = "-journal";
        rest.size() > journal.size() && rest.compare(rest.size() - journal.size(), journal.size(), journal) == 0)
        rest.resize(rest.size() - journal.size());
    const std::size_t dash = rest.find('-');
    auto digits = [](const std::string& s) {
        return !s.empty() && s.size() < 12 && s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (dash == std::string::npos || !digits(rest.substr(0, dash)) || !digits(rest.substr(dash + 1)))
        return std::nullopt;
    return std::stol(rest.substr(0, dash));
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

    // Copies into this folder left by a process that no longer runs (killed mid-copy), whatever their name.
    void removeAbandoned() const {
        std::error_code ec;
        for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
            const auto owner = partialOwner(it->path().filename().string());
            if (owner && *owner > 0 && ::kill(static_cast<pid_t>(*owner), 0) != 0 && errno == ESRCH)
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

CopyResult copyAccessToSqlite(const std::string& accessPath, const std::string& sqlitePath,
                              const CopyProgressCallback& progress, const std::string& password,
                              const CopyOptions& options) {
    if (sqlitePath.empty())
        throw db::Error(db::err::FileNotFound, "No file was named for the SQLite copy of '" + accessPath + "'.");
    refuseExisting(sqlitePath);
    // Nothing is read while a password is ignored: a protected file needs its own first.
    requirePassword(accessPath, password);
    PartialFile partial(sqlitePath);
    CopyResult result = runCopyProcess(accessPath, partial.path(), password, progress, options);
    if (!result.cancelled)
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
