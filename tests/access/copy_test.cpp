// Copies of the real Access files, checked against what the mdbtools commands read from the same files.
#include "access/sqlite_copy.h"
#include "access_test_support.h"
#include "db/recordset.h"
#include <algorithm>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace accesstest;

constexpr char kField = '\x1f', kRow = '\x1e', kNull = '\x1d';

struct ExportedColumn {
    std::string name;
    std::string type; // as mdb-schema writes it for Access: "Long Integer", "Text (5)", ...
};

// Columns of each table by mdb-schema.
std::vector<std::pair<std::string, std::vector<ExportedColumn>>> exportedSchema(const std::string& path) {
    std::vector<std::pair<std::string, std::vector<ExportedColumn>>> tables;
    for (const std::string& line : split(output("mdb-schema " + shellQuoted(path) + " access"), '\n')) {
        if (line.rfind("CREATE TABLE [", 0) == 0) {
            tables.push_back({line.substr(14, line.rfind(']') - 14), {}});
        } else if (line.rfind("\t[", 0) == 0 && !tables.empty()) {
            const std::size_t close = line.find(']');
            std::string type = line.substr(line.find_first_not_of('\t', close + 1));
            type = type.substr(0, std::min(type.find(" NOT NULL"), type.find(", ")));
            tables.back().second.push_back({line.substr(2, close - 2), type});
        }
    }
    return tables;
}

// The rows of a table by mdb-export: values split, Null as kNull, blobs in hexadecimal, dates in ISO form.
std::vector<std::vector<std::string>> exportedRows(const std::string& path, const std::string& table) {
    const std::string text = output("mdb-export -H -Q -b hex -d \"$(printf '\\037')\" -R \"$(printf '\\036')\" "
                                    "-0 \"$(printf '\\035')\" -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' " +
                                    shellQuoted(path) + " " + shellQuoted(table));
    std::vector<std::vector<std::string>> rows;
    for (const std::string& row : split(text, kRow))
        if (!row.empty())
            rows.push_back(split(row, kField));
    return rows;
}

int typeCode(const std::string& accessType) {
    static const std::pair<const char*, int> codes[] = {
        {"Long Integer", 3}, {"Integer", 2},         {"Byte", 17},     {"Text", 202}, {"Memo", 203},
        {"DateTime", 7},     {"Currency", 6},        {"Single", 4},    {"Double", 5}, {"Boolean", 11},
        {"OLE", 205},        {"Replication ID", 72}, {"Numeric", 131},
    };
    for (const auto& [word, code] : codes)
        if (accessType.rfind(word, 0) == 0)
            return code;
    return -1;
}

double number(const db::Value& v) {
    return v.isInteger() ? static_cast<double>(v.asInteger()) : v.asReal();
}

// Whether the copied value says what mdb-export printed.
bool sameValue(const std::string& type, const std::string& exported, const db::Value& copied) {
    if (exported == std::string(1, kNull))
        return copied.isNull();
    if (copied.isNull())
        return false;
    if (type == "DateTime" && exported.rfind("1900-01-00", 0) == 0)
        return true; // a date libmdb cannot print; the stored dates are checked on their own below
    if (type == "Single")
        return static_cast<float>(std::stod(exported)) == static_cast<float>(number(copied));
    if (type == "Double")
        return std::abs(std::stod(exported) - number(copied)) <= 1e-15 * std::abs(number(copied));
    if (type == "Currency") { // "18.0000" and 18, "9.8000" and 9.8
        std::string trimmed = exported;
        trimmed.erase(trimmed.find_last_not_of('0') + 1);
        if (trimmed.back() == '.')
            trimmed.pop_back();
        return trimmed == copied.toText();
    }
    return exported == copied.toText();
}

struct FileStamp {
    std::string bytes;
    long long mtimeNs;
    explicit FileStamp(const std::string& path) : bytes(readAll(path)) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    }
    bool operator==(const FileStamp&) const = default;
};

class CopyTest : public testsupport::TempDirTest {};

TEST_F(CopyTest, EveryUserTableArrivesAsMdbExportReadsIt) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    for (const char* name : {"nwind.mdb", "DateTestDatabase.mdb", "ASampleDatabase.accdb"}) {
        SCOPED_TRACE(name);
        const std::string source = (data / name).string();
        const FileStamp before(source);
        const std::string target = file(std::string(name) + ".db");
        const accessdb::CopyResult result = accessdb::copyAccessToSqlite(source, target);
        EXPECT_TRUE(FileStamp(source) == before) << "the Access file was changed";

        std::vector<std::string> tables = split(output("mdb-tables -1 " + shellQuoted(source)), '\n');
        tables.pop_back();
        EXPECT_EQ(testsupport::tableNames(target), tables);
        ASSERT_EQ(result.tables.size(), tables.size());

        const auto schema = exportedSchema(source);
        const db::Connection connection = testsupport::openConnection(target);
        for (std::size_t t = 0; t < tables.size(); ++t) {
            const auto& [table, columns] = schema[t];
            ASSERT_EQ(table, tables[t]);
            const auto rows = exportedRows(source, table);
            EXPECT_EQ(result.tables[t].rows, static_cast<long long>(rows.size())) << table;
            db::Recordset rs;
            rs.Open("SELECT * FROM [" + table + "]", connection, db::adOpenForwardOnly, db::adLockReadOnly);
            ASSERT_EQ(rs.fieldCount(), static_cast<int>(columns.size())) << table;
            for (int i = 0; i < rs.fieldCount(); ++i) {
                EXPECT_EQ(rs.field(i).Name, columns[static_cast<std::size_t>(i)].name);
                EXPECT_EQ(rs.field(i).Type, typeCode(columns[static_cast<std::size_t>(i)].type))
                    << table << "." << rs.field(i).Name << " is " << columns[static_cast<std::size_t>(i)].type;
            }
            EXPECT_EQ(rs.RecordCount(), static_cast<long long>(rows.size())) << table;
            for (std::size_t r = 0; r < rows.size() && !rs.EOF_(); ++r, rs.MoveNext()) {
                EXPECT_EQ(rows[r].size(), columns.size()) << table << " row " << r << " did not split cleanly";
                for (std::size_t i = 0; i < columns.size() && i < rows[r].size(); ++i) {
                    const std::string type = columns[i].type.substr(0, columns[i].type.find(" ("));
                    EXPECT_TRUE(sameValue(type, rows[r][i], rs[static_cast<int>(i)]))
                        << table << " row " << r << " " << columns[i].name << ": exported '" << rows[r][i]
                        << "', copied '" << rs[static_cast<int>(i)].toText() << "'";
                }
            }
        }
    }
}

TEST_F(CopyTest, RowidsFollowTheStoredOrderAndTheKeyHolds) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    const std::string source = (data / "nwind.mdb").string();
    const std::string target = file("nwind.db");
    accessdb::copyAccessToSqlite(source, target);
    // Northwind stores its orders out of key order, so a key that had become the rowid would re-sort them.
    std::vector<std::string> stored;
    for (const auto& row : exportedRows(source, "Orders"))
        stored.push_back(row[0]);
    ASSERT_FALSE(std::is_sorted(stored.begin(), stored.end()));
    std::vector<std::string> copied =
        split(output("sqlite3 " + shellQuoted(target) + " 'SELECT OrderID FROM Orders ORDER BY rowid'"), '\n');
    copied.pop_back();
    EXPECT_EQ(copied, stored);

    // The two-column key of the order lines refuses a second line for the same order and product.
    const auto line = exportedRows(source, "Order Details").front();
    const std::string insert =
        "INSERT INTO \"Order Details\" (OrderID, ProductID) VALUES (" + line[0] + ", " + line[1] + ")";
    EXPECT_NE(
        output("sqlite3 " + shellQuoted(target) + " " + shellQuoted(insert) + " 2>&1").find("UNIQUE constraint failed"),
        std::string::npos);
}

TEST_F(CopyTest, DatesBefore1900AndUpTo9999ArriveAsStored) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    const std::string target = file("dates.db");
    accessdb::copyAccessToSqlite((data / "DateTestDatabase.mdb").string(), target);
    // The stored day numbers of rows 2 to 4 are 2958101; -728, -363, 2; -463126, -462760, -462395.
    const std::vector<std::vector<std::string>> expected = {
        {"Year 9999", "9999-01-01 00:00:00", "9999-01-01 00:00:00", "9999-01-01 00:00:00"},
        {"Pre-1900 years", "1898-01-01 00:00:00", "1899-01-01 00:00:00", "1900-01-01 00:00:00"},
        {"Pre-1000 years", "0632-01-01 00:00:00", "0633-01-01 00:00:00", "0634-01-01 00:00:00"},
    };
    const auto rows =
        testsupport::queryRows(testsupport::openConnection(target),
                               "SELECT LongTextCol, DateTimeCol, DateCol, TimeCol FROM DateTest", db::adOpenStatic);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(std::vector(rows.begin() + 1, rows.begin() + 4), expected);
}

TEST_F(CopyTest, AFailedOrCancelledCopyLeavesNoFile) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    const std::string source = (data / "nwind.mdb").string();
    const std::string target = file("copy.db");
    // Damaged files: one cut off inside a page, one cut off after its 600th page (part of the catalogue lost).
    std::filesystem::create_directory(file("damaged"));
    const std::string whole = readAll(source);
    const std::string cut = file("damaged/cut.mdb"), short600 = file("damaged/short.mdb");
    writeAll(cut, whole.substr(0, 1500000));
    writeAll(short600, whole.substr(0, 600 * 2048));
    auto filesHere = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder()))
            if (entry.path().filename() != "damaged")
                names.push_back(entry.path().filename().string() + "=" + readAll(entry.path().string()).substr(0, 6));
        return names;
    };
    struct Case {
        std::string source, target;
        accessdb::CopyProgressCallback progress;
        const char* failure; // words of the error; none when the copy is cancelled
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {source, file("missing/copy.db"), {}, "missing/copy.db' cannot be written", {}},
        {cut, target, {}, "cut.mdb' is damaged", {}},
        {short600, target, {}, "short.mdb' is damaged", {}},
        {source, target, [](const accessdb::CopyProgress& p) { return p.rowsDone == 0; }, nullptr, {}},
        {source,
         target,
         [](const accessdb::CopyProgress& p) -> bool {
             if (p.tableIndex == 2)
                 throw std::runtime_error("interrupted");
             return true;
         },
         "interrupted",
         {}},
        {source,
         target,
         [&](const accessdb::CopyProgress& p) {
             if (p.tableIndex == 1 && p.rowsDone == 0)
                 writeAll(target, "theirs");
             return true;
         },
         "appeared while the copy was made",
         {"copy.db=theirs"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failure ? c.failure : "cancelled");
        try {
            EXPECT_TRUE(accessdb::copyAccessToSqlite(c.source, c.target, c.progress).cancelled && !c.failure);
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.failure ? c.failure : "?"), std::string::npos) << e.what();
        }
        EXPECT_EQ(filesHere(), c.left);
        std::filesystem::remove(target);
    }

    // What killed copies left in the folder, under any name, goes with the next copy into it; a copy still
    // being made by a running process, and files that merely look alike, stay. Then the name is taken.
    const std::string live = ".live.db.partial-" + std::to_string(::getpid()) + "-1";
    for (const std::string& name :
         {std::string(".copy.db.partial-999999999-1"), std::string(".other.db.partial-999999999-7"),
          std::string(".other.db.partial-999999999-7-journal"), live, std::string(".notes.partial-1-x"),
          std::string("plain.partial-999999999-1")})
        writeAll(file(name), "stale");
    accessdb::copyAccessToSqlite(source, target);
    const db::Error e = testsupport::errorOf([&] { accessdb::copyAccessToSqlite(source, target); });
    EXPECT_NE(e.description().find("already exists"), std::string::npos) << e.description();
    std::vector<std::string> left = filesHere();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{live + "=stale", ".notes.partial-1-x=stale", "copy.db=SQLite",
                                              "plain.partial-999999999-1=stale"}));
}

} // namespace
