// Work tables: kept outside the file, their deletes by rowid recorded, and every later read of the table
// (a snapshot, a copy) the same as if the deletes had been carried out in a table of the file.
#include "db/recordset.h"
#include "db/types.h"
#include "tests/support/test_support.h"
#include <algorithm>
#include <filesystem>

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

} // namespace
