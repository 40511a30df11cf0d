// Work tables: kept outside the file, their deletes by rowid recorded, and every later read of the table
// (a snapshot, a copy) the same as if the deletes had been carried out in a table of the file.
#include "db/recordset.h"
#include "db/types.h"
#include "tests/support/test_support.h"
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using Rows = std::vector<std::string>;

struct Shape {
    const char* name;
    const char* create; // table t, filled with rows 1..kRows below
    const char* number; // the column that numbers the rows in the work table
    bool addIdentity;   // the numbering column is added to the work table
};

const Shape kShapes[] = {
    {"IntegerPrimaryKey", "CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, pad TEXT)", "id", false}, // rowid
    {"NumberedRows", "CREATE TABLE t (a TEXT, pad TEXT)", "n", true},                                // rowid
    {"PlainIntegerColumn", "CREATE TABLE t (id INTEGER, a TEXT, pad TEXT)", "id", false},            // index
};
const char* const kPasswords[] = {"", "pw"};
constexpr int kRows = 600;

class WorkTableTest : public testsupport::TempDirTest,
                      public ::testing::WithParamInterface<std::tuple<Shape, const char*>> {
protected:
    const Shape& shape() const { return std::get<0>(GetParam()); }
    std::string password() const { return std::get<1>(GetParam()); }

    std::string make(const std::string& name) {
        const std::string fill = std::string(shape().addIdentity ? "INSERT INTO t " : "INSERT INTO t (id, a, pad) ") +
                                 "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
                                 std::to_string(kRows) + ") SELECT " + (shape().addIdentity ? "" : "i, ") +
                                 "'a' || (i % 7), printf('%0200d', i) FROM k;";
        return makeDb(name, std::string(shape().create) + ";" + fill, password());
    }

    // Copies t into w (a work table or not), deletes some of its rows while a snapshot is open, and
    // returns what a copy of w then holds.
    Rows deleteAndCopy(const std::string& path, bool work) {
        auto c = testsupport::openConnection(path, password());
        if (work)
            c.declareWorkTable("w");
        c.Execute("SELECT * INTO [w] FROM [t]");
        if (shape().addIdentity)
            c.Execute(std::string("ALTER TABLE [w] ADD COLUMN [") + shape().number + "] LONG IDENTITY(1,1)");
        db::Recordset snapshot;
        snapshot.Open(std::string("SELECT [a] FROM [w] ORDER BY [") + shape().number + "]", c, db::adOpenStatic,
                      db::adLockOptimistic);
        for (int n : {2, 3, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233, 377, 599, 600, 9999})
            c.Execute(std::string("DELETE FROM [w] WHERE [") + shape().number + "] = " + std::to_string(n));
        EXPECT_EQ(snapshot.RecordCount(), kRows) << "a snapshot is not changed by later deletes";
        long long walked = 0;
        for (; !snapshot.EOF_(); snapshot.MoveNext())
            ++walked;
        EXPECT_EQ(walked, kRows);
        EXPECT_EQ(testsupport::joinedRows(c, std::string("SELECT [a] FROM [w] WHERE [") + shape().number + "] = 5",
                                          db::adOpenStatic),
                  Rows{})
            << "a later read sees the deletes";
        c.Execute("SELECT [a], [pad] INTO [o] FROM [w]");
        c.Execute("DROP TABLE [w]");
        return testsupport::joinedRows(c, "SELECT * FROM [o]", db::adOpenStatic);
    }
};

// The same statements on a table of the file and on a work table give the same rows; the table of the
// file leaves its pages behind as free pages, the work table none.
TEST_P(WorkTableTest, DeletesGiveTheRowsTheyGiveInATableOfTheFileAndLeaveNoPages) {
    const std::string file = make("file.db");
    const std::string work = make("work.db");
    const auto before = std::filesystem::file_size(work);
    const Rows inFile = deleteAndCopy(file, false);
    EXPECT_EQ(inFile.size(), static_cast<std::size_t>(kRows - 14));
    EXPECT_EQ(deleteAndCopy(work, true), inFile);
    const auto grownInFile = std::filesystem::file_size(file) - before;
    const auto grown = std::filesystem::file_size(work) - before;
    EXPECT_LE(grown * 10, grownInFile * 6)
        << "grown by " << grown << " bytes, with the table in the file by " << grownInFile;
    EXPECT_EQ(testsupport::tableNames(work, password()), (Rows{"t", "o"}));
}

// A column added after deletes were recorded, and rows changed by their number while a snapshot is open:
// a work table gives what a table of the file gives, and the snapshot keeps what it read.
TEST_P(WorkTableTest, AddedColumnsAndUpdatesGiveTheRowsTheyGiveInATableOfTheFile) {
    const auto changeAndCopy = [&](const std::string& path, bool work) {
        auto c = testsupport::openConnection(path, password());
        if (work)
            c.declareWorkTable("w");
        c.Execute("SELECT * INTO [w] FROM [t]");
        if (shape().addIdentity)
            c.Execute(std::string("ALTER TABLE [w] ADD COLUMN [") + shape().number + "] LONG IDENTITY(1,1)");
        const std::string where = std::string(" WHERE [") + shape().number + "] = ";
        for (int n : {4, 6, 7})
            c.Execute("DELETE FROM [w]" + where + std::to_string(n));
        c.Execute("ALTER TABLE [w] ADD COLUMN [g] LONG");
        db::Recordset snapshot;
        snapshot.Open("SELECT [a], [g] FROM [w] ORDER BY [" + std::string(shape().number) + "]", c, db::adOpenStatic,
                      db::adLockOptimistic);
        for (int n : {1, 5, 6, 600})
            c.Execute("UPDATE [w] SET [g] = " + std::to_string(n * 10) + ", [a] = 'changed'" + where +
                      std::to_string(n));
        EXPECT_EQ(snapshot[0].toText(), "a1");
        EXPECT_TRUE(snapshot[1].isNull()) << "a snapshot is not changed by later updates";
        c.Execute("SELECT [a], [g] INTO [o] FROM [w]");
        return testsupport::joinedRows(c, "SELECT * FROM [o]", db::adOpenStatic);
    };
    const Rows inFile = changeAndCopy(make("file.db"), false);
    EXPECT_EQ(inFile.size(), static_cast<std::size_t>(kRows - 3));
    EXPECT_EQ(std::count_if(inFile.begin(), inFile.end(),
                            [](const std::string& row) { return row.rfind("changed|", 0) == 0; }),
              3)
        << "rows 1, 5 and 600 changed; 6 was deleted";
    EXPECT_EQ(changeAndCopy(make("work.db"), true), inFile);
}

INSTANTIATE_TEST_SUITE_P(Shapes, WorkTableTest,
                         ::testing::Combine(::testing::ValuesIn(kShapes), ::testing::ValuesIn(kPasswords)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param).name) +
                                    (*std::get<1>(test.param) ? "Encrypted" : "Plain");
                         });

class WorkTableNameTest : public testsupport::TempDirTest {};

// Other connections never see a work table; once dropped it is gone, and its name can be used again.
TEST_F(WorkTableNameTest, SeenOnlyByItsConnectionUntilDropped) {
    const std::string path = makeDb("names.db", "CREATE TABLE t (a); INSERT INTO t VALUES (1), (2);");
    auto c = testsupport::openConnection(path);
    c.declareWorkTable("W");
    c.Execute("SELECT * INTO [w] FROM [t]");
    EXPECT_EQ(testsupport::tableNames(path), Rows{"t"});
    EXPECT_EQ(testsupport::joinedRows(c, "SELECT * FROM [W]", db::adOpenStatic), (Rows{"1", "2"}));
    EXPECT_EQ(testsupport::errorOf([&] { c.Execute("SELECT * INTO [w] FROM [t]"); }).number(), db::err::TableExists);
    c.Execute("DROP TABLE [w]");
    EXPECT_EQ(testsupport::errorOf([&] { c.Execute("SELECT * FROM [w]"); }).number(), db::err::NoSuchTable);
    c.Execute("SELECT * INTO [w] FROM [t]");
    c.Execute("DELETE FROM [w] WHERE [rowid] = 1");
    EXPECT_EQ(testsupport::joinedRows(c, "SELECT * FROM [w]", db::adOpenStatic), Rows{"2"});
}

// A work table copied from a whole table reads that table's rows in place; whatever would change them
// (a delete that is not by rowid, a delete from the table itself, numbering rows whose rowids have gaps)
// makes the real copy first. Each case ends with what a copy gives, and the table of the file untouched.
TEST_F(WorkTableNameTest, RowsReadInPlaceAreNeverChanged) {
    struct Case {
        const char* name;
        const char* gaps;                    // run on the file first
        std::vector<const char*> statements; // on the work table w, after SELECT * INTO [w] FROM [t]
        const char* read;                    // what is read from w at the end
        Rows expected;
    };
    const Case cases[] = {
        {"delete by a plain column",
         "",
         {"DELETE FROM [w] WHERE [n] = 2"},
         "SELECT [a] FROM [w]",
         Rows{"x1", "x3", "x4"}},
        {"delete by rowid written as text",
         "",
         {"DELETE FROM [w] WHERE [rowid] = '1'"},
         "SELECT [a] FROM [w]",
         Rows{"x2", "x3", "x4"}},
        {"delete from the table itself",
         "",
         {"DELETE FROM [w] WHERE [rowid] = 4", "DELETE FROM [t] WHERE [n] = 1"},
         "SELECT [a] FROM [w]",
         Rows{"x1", "x2", "x3"}},
        {"numbering rowids with gaps",
         "DELETE FROM t WHERE n = 2",
         {"ALTER TABLE [w] ADD COLUMN [k] LONG IDENTITY(1,1)", "DELETE FROM [w] WHERE [k] = 2"},
         "SELECT [k], [a] FROM [w] ORDER BY [k]",
         Rows{"1|x1", "3|x4"}},
        {"numbering rowids 1, 2, 3",
         "",
         {"ALTER TABLE [w] ADD COLUMN [k] LONG IDENTITY(1,1)", "DELETE FROM [w] WHERE [k] = 2"},
         "SELECT [k], [a] FROM [w] ORDER BY [k]",
         Rows{"1|x1", "3|x3", "4|x4"}},
        {"numbering rowids that start past 1",
         "DELETE FROM t WHERE n = 1",
         {"ALTER TABLE [w] ADD COLUMN [k] LONG IDENTITY(1,1)"},
         "SELECT [k], [a] FROM [w] ORDER BY [k]",
         Rows{"1|x2", "2|x3", "3|x4"}},
        {"numbering rowids whose last is gone",
         "DELETE FROM t WHERE n = 4",
         {"ALTER TABLE [w] ADD COLUMN [k] LONG IDENTITY(1,1)"},
         "SELECT [k], [a] FROM [w] ORDER BY [k]",
         Rows{"1|x1", "2|x2", "3|x3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = makeDb(std::string(c.name) + ".db", std::string("CREATE TABLE t (n INTEGER, a TEXT); "
                                                                                 "INSERT INTO t VALUES (1, 'x1'), (2, "
                                                                                 "'x2'), (3, 'x3'), (4, 'x4');") +
                                                                         c.gaps);
        const Rows source = [&] {
            auto other = testsupport::openConnection(path);
            return testsupport::joinedRows(other, "SELECT * FROM [t]", db::adOpenStatic);
        }();
        auto conn = testsupport::openConnection(path);
        conn.declareWorkTable("w");
        conn.Execute("SELECT * INTO [w] FROM [t]");
        for (const char* statement : c.statements)
            conn.Execute(statement);
        {
            // The count a scan is shown with is the rows it gives.
            db::Recordset counted;
            counted.CursorLocation = db::adUseServer;
            counted.Open(c.read, conn, db::adOpenStatic, db::adLockOptimistic);
            EXPECT_EQ(counted.RecordCount(), static_cast<long long>(c.expected.size()));
            counted.Close();
        }
        EXPECT_EQ(testsupport::joinedRows(conn, c.read, db::adOpenStatic), c.expected);
        conn.Execute("DROP TABLE [w]");
        conn.Close();
        auto after = testsupport::openConnection(path);
        const bool deletedFromSource = std::string(c.name) == "delete from the table itself";
        if (!deletedFromSource) {
            EXPECT_EQ(testsupport::joinedRows(after, "SELECT * FROM [t]", db::adOpenStatic), source);
        }
    }
}

// A scan of a work table learns its count by reading rows ahead. Rows past what it keeps (60 MB here, more
// than it reads ahead) are counted instead and read when reached; either way each row comes once, in order,
// and an earlier row can be read again once the scan has passed it, while the scan deletes rows as it goes.
TEST_F(WorkTableNameTest, AScanOfMoreRowsThanItReadsAheadGivesThemAll) {
    const std::string path =
        makeDb("big.db", "CREATE TABLE t (id INTEGER PRIMARY KEY, b BLOB);"
                         "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE "
                         "i < " +
                             std::to_string(kRows) + ") INSERT INTO t SELECT i * 2, zeroblob(100000 + i) FROM k;");
    auto conn = testsupport::openConnection(path);
    conn.declareWorkTable("w");
    conn.Execute("SELECT * INTO [w] FROM [t]");
    db::Recordset scan;
    scan.CursorLocation = db::adUseServer;
    scan.Open("SELECT [id], [b] FROM [w] ORDER BY [id]", conn, db::adOpenStatic, db::adLockOptimistic);
    ASSERT_EQ(scan.RecordCount(), kRows);
    long long row = 0;
    for (; !scan.EOF_(); scan.MoveNext(), ++row) {
        ASSERT_EQ(scan[0], db::Value(std::int64_t{2 * (row + 1)})) << row;
        ASSERT_EQ(scan[1].asBlob().bytes.size(), static_cast<std::size_t>(100001 + row)) << row;
        if (row % 7 == 0)
            conn.Execute("DELETE FROM [w] WHERE [rowid] = " + std::to_string(2 * (row + 1)));
    }
    EXPECT_EQ(row, kRows);
    for (const long long earlier : {3LL, 300LL, 10LL, 599LL, 513LL})
        EXPECT_EQ(scan.valueAt(earlier, 0), db::Value(std::int64_t{2 * (earlier + 1)})) << earlier;
}

// A work table's real copy declares each column's collating sequence as the source does, so its values
// compare as the source's: whichever way the copy comes about, in either library.
TEST_F(WorkTableNameTest, RealCopiesCompareAsTheSource) {
    struct Case {
        const char* name;
        std::vector<const char*> statements; // after SELECT * INTO [w] FROM [t]
        const char* read;                    // the table the comparisons read
    };
    const Case cases[] = {
        {"read in place", {}, "w"},
        {"copied by a delete not by rowid", {"DELETE FROM [w] WHERE [n] = 9"}, "w"},
        {"rebuilt to number rowids with gaps", {"ALTER TABLE [w] ADD COLUMN [k] LONG IDENTITY(1,1)"}, "w"},
        {"copied into another work table", {"SELECT * INTO [w2] FROM [w]"}, "w2"},
    };
    // Each condition is met by both rows of t under the column's own collating sequence, by one without.
    const char* const conditions[] = {"[nocase] = 'Abc'", "[rtrim] = 'x'", "[plain] = 'abc'"};
    for (const char* password : {"", "pw"})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (*password ? ", encrypted" : ""));
            const std::string path =
                makeDb(std::string(c.name) + (*password ? "-e" : "") + ".db",
                       "CREATE TABLE t (n INTEGER, nocase TEXT COLLATE NOCASE, rtrim TEXT COLLATE RTRIM, plain TEXT);"
                       "INSERT INTO t VALUES (1, 'abc', 'x ', 'abc'), (2, 'gap', '', ''), (3, 'ABC', 'x', 'ABC');"
                       "DELETE FROM t WHERE n = 2;",
                       password);
            auto conn = testsupport::openConnection(path, password);
            conn.declareWorkTable("w");
            conn.declareWorkTable("w2");
            conn.Execute("SELECT * INTO [w] FROM [t]");
            for (const char* statement : c.statements)
                conn.Execute(statement);
            for (const char* condition : conditions) {
                SCOPED_TRACE(condition);
                const std::string where = std::string(" WHERE ") + condition;
                const Rows inSource = testsupport::joinedRows(conn, "SELECT [n] FROM [t]" + where, db::adOpenStatic);
                EXPECT_EQ(testsupport::joinedRows(conn, std::string("SELECT [n] FROM [") + c.read + "]" + where,
                                                  db::adOpenStatic),
                          inSource);
                EXPECT_EQ(inSource, std::string(condition).find("plain") == 1 ? Rows{"1"} : (Rows{"1", "3"}));
            }
        }
}

// Rows read in place that another program changes meanwhile are never copied: the copy fails, and the
// file is left as it was.
TEST_F(WorkTableNameTest, RowsChangedByAnotherProgramAreNeverCopied) {
    for (const char* change : {"INSERT INTO t VALUES (3, 'z')", "DELETE FROM t WHERE a = 1"}) {
        SCOPED_TRACE(change);
        const std::string path = makeDb(std::string(change).substr(0, 6) + ".db",
                                        "CREATE TABLE t (a INTEGER, b TEXT); INSERT INTO t VALUES (1, 'x'), (2, 'y');");
        auto conn = testsupport::openConnection(path);
        conn.declareWorkTable("w");
        conn.Execute("SELECT * INTO [w] FROM [t]");
        EXPECT_EQ(testsupport::joinedRows(conn, "SELECT [a] FROM [w]", db::adOpenStatic), (Rows{"1", "2"}));
        testsupport::runScript(path, change);
        EXPECT_EQ(testsupport::errorOf([&] { conn.Execute("SELECT [a] INTO [o] FROM [w]"); }).number(),
                  db::err::EngineError);
        EXPECT_EQ(testsupport::errorOf([&] { conn.Execute("DELETE FROM [w] WHERE [b] = 'x'"); }).number(),
                  db::err::EngineError)
            << "nor made a real copy";
        conn.Execute("DROP TABLE [w]");
        conn.Close();
        EXPECT_EQ(testsupport::tableNames(path), Rows{"t"});
    }
}

// An encrypted file's work table that has to be copied goes to a file with no name left in the temporary
// folder, and none of its rows reach that file unencrypted.
TEST_F(WorkTableNameTest, AnEncryptedFilesCopyIsEncryptedOnDisk) {
    const std::string marker = "PLAINTEXT-MARKER-";
    const std::string path = makeDb("secret.db",
                                    "CREATE TABLE t (n INTEGER, a TEXT); WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL "
                                    "SELECT i + 1 FROM k WHERE i < 500) INSERT INTO t SELECT i, '" +
                                        marker + "' || i FROM k;",
                                    "pw");
    const std::filesystem::path temporary = folder() / "tmp";
    std::filesystem::create_directory(temporary);
    const char* before = std::getenv("SQLITE_TMPDIR");
    const std::string saved = before ? before : "";
    ::setenv("SQLITE_TMPDIR", temporary.c_str(), 1);
    auto conn = testsupport::openConnection(path, "pw");
    conn.declareWorkTable("w");
    conn.Execute("SELECT * INTO [w] FROM [t]");
    conn.Execute("DELETE FROM [w] WHERE [n] = 7"); // not by rowid: the real copy is made
    EXPECT_TRUE(std::filesystem::is_empty(temporary)) << "the work file keeps no name";
    int workFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
        if (ec || target.find(temporary.string() + "/rowsifter-work-") != 0)
            continue;
        ++workFiles;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_GT(bytes.size(), 0u);
        EXPECT_EQ(bytes.find(marker), std::string::npos) << "rows unencrypted on disk";
    }
    EXPECT_EQ(workFiles, 1);
    EXPECT_EQ(testsupport::joinedRows(conn, "SELECT [n] FROM [w]", db::adOpenStatic).size(), 499u);
    conn.Execute("DROP TABLE [w]");
    conn.Close();
    if (before)
        ::setenv("SQLITE_TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("SQLITE_TMPDIR");
}

} // namespace
