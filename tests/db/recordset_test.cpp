// Record sets: snapshots, lazily read windows onto big tables, schema rowsets and the table catalogue.
#include "db/catalogue.h"
#include "db_test_support.h"

namespace {

using dbtest::errorOf;
using Rows = std::vector<std::string>;

class RecordsetTest : public dbtest::TempDir {
protected:
    // A table of n rows: id 1..n (the rowid), a = "row<id>", with every third id up to 1500 deleted, so
    // that rowids have gaps in the first part and run on without gaps after it.
    std::string makeNumbers(long long n) {
        return makeDb("numbers.mdb", "CREATE TABLE n (id INTEGER PRIMARY KEY, a TEXT, half REAL);"
                                     "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
                                         std::to_string(n) +
                                         ") INSERT INTO n SELECT i, 'row' || i, i / 2.0 FROM k;"
                                         "DELETE FROM n WHERE id % 3 = 0 AND id <= 1500;");
    }
};

TEST_F(RecordsetTest, StaticSnapshotIgnoresLaterDeletes) {
    auto c = open(makeNumbers(30));
    db::Recordset scan;
    scan.CursorLocation = db::adUseServer;
    scan.Open("SELECT `a`,`id` FROM `n` order by `id`", c, db::adOpenStatic, db::adLockOptimistic);
    ASSERT_EQ(scan.RecordCount(), 20);
    // Every row goes before the first one is read.
    for (int id = 1; id <= 30; ++id)
        c.Execute("delete from `n` where `id`=" + std::to_string(id));
    long long seen = 0;
    std::string ids;
    while (!scan.EOF_()) {
        ids += scan[1].toText() + " ";
        EXPECT_EQ(scan[0], db::Value("row" + scan[1].toText()));
        ++seen;
        scan.MoveNext();
    }
    EXPECT_EQ(seen, 20);
    EXPECT_EQ(scan.RecordCount(), 20);
    EXPECT_EQ(ids.substr(0, 12), "1 2 4 5 7 8 ");
    EXPECT_EQ(errorOf([&] { scan.MoveNext(); }).number(), db::err::NoCurrentRecord);
    scan.MoveFirst();
    EXPECT_EQ(scan[1], db::Value(1));
    EXPECT_TRUE(rows(c, "SELECT * FROM [n];").empty());
}

TEST_F(RecordsetTest, SnapshotKeepsEveryKindOfValue) {
    auto c =
        open(makeDb("kinds.mdb", "CREATE TABLE k (v);"
                                 "INSERT INTO k VALUES (NULL), (-5), (9223372036854775807), (-9223372036854775808),"
                                 "(0.1), (''), ('Zürich ✓'), (x'00FF10'), (zeroblob(0));"));
    const Rows expected{"<null>", "-5", "9223372036854775807", "-9223372036854775808", "0.1", "", "Zürich ✓",
                        "00FF10", ""};
    EXPECT_EQ(rows(c, "SELECT * FROM [k];", db::adOpenStatic), expected);
    EXPECT_EQ(rows(c, "SELECT * FROM [k];", db::adOpenDynamic), expected);
    db::Recordset r;
    r.Open("SELECT * FROM [k];", c, db::adOpenStatic, db::adLockReadOnly);
    EXPECT_TRUE(r.valueAt(7, 0).isBlob());
    EXPECT_TRUE(r.valueAt(5, 0).isText());
}

TEST_F(RecordsetTest, LazyCursorGivesRandomAccessAcrossBlocks) {
    auto c = open(makeNumbers(3000)); // 2500 rows left, over several blocks
    db::Recordset r;
    r.Open("SELECT * FROM [n];", c, db::adOpenDynamic, db::adLockOptimistic);
    EXPECT_EQ(r.RecordCount(), 2500);
    auto idOfRow = [](long long row) { return std::int64_t{row < 1000 ? row / 2 * 3 + row % 2 + 1 : row + 501}; };
    for (long long row : {0LL, 2499LL, 1LL, 1024LL, 255LL, 256LL, 257LL, 1500LL, 3LL, 2498LL, 700LL, 1279LL, 1280LL}) {
        EXPECT_EQ(r.valueAt(row, 0), db::Value(idOfRow(row))) << row;
        EXPECT_EQ(r.valueAt(row, 1), db::Value("row" + std::to_string(idOfRow(row))));
    }
    EXPECT_EQ(errorOf([&] { r.valueAt(2500, 0); }).number(), db::err::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { r.valueAt(-1, 0); }).number(), db::err::NoCurrentRecord);
    EXPECT_EQ(errorOf([&] { r.valueAt(0, 3); }).number(), db::err::ItemNotFound);

    long long count = 0;
    for (; !r.EOF_(); r.MoveNext())
        ++count;
    EXPECT_EQ(count, 2500);

    // The same rows whether read lazily or as a snapshot, also with a condition.
    EXPECT_EQ(rows(c, "SELECT * FROM [n];", db::adOpenKeyset), rows(c, "SELECT * FROM [n];", db::adOpenStatic));
    EXPECT_EQ(rows(c, "SELECT [a] FROM [n] WHERE [half] = 500", db::adOpenDynamic), Rows{"row1000"});
}

TEST_F(RecordsetTest, FieldsByIndexAndNameAlsoOnAnEmptyResult) {
    auto c = open(makeDb("e.mdb", "CREATE TABLE e (\"Full Name\" TEXT, Age INTEGER, Paid CURRENCY);"));
    db::Recordset r;
    r.Open("SELECT * FROM [e];", c, db::adOpenDynamic, db::adLockOptimistic);
    EXPECT_TRUE(r.EOF_());
    EXPECT_EQ(r.RecordCount(), 0);
    ASSERT_EQ(r.fieldCount(), 3);
    EXPECT_EQ(r.field(0).Name, "Full Name");
    EXPECT_EQ(r.field(1).Type, db::adInteger);
    EXPECT_EQ(r.field("Paid").Type, db::adCurrency);
    EXPECT_TRUE(r.field(0).Value.isNull());
    EXPECT_EQ(errorOf([&] { r.field("paid"); }).number(), db::err::ItemNotFound) << "by name is exact";
    EXPECT_EQ(errorOf([&] { r.field(3); }).number(), db::err::ItemNotFound);
    // Listed fields come back under their stored names, in the order asked for.
    db::Recordset s;
    s.Open("SELECT `age`, `FULL NAME` FROM `E`", c, db::adOpenStatic, db::adLockOptimistic);
    EXPECT_EQ(s.field(0).Name, "Age");
    EXPECT_EQ(s.field(1).Name, "Full Name");
    r.Close();
    EXPECT_EQ(errorOf([&] { r.EOF_(); }).number(), db::err::ObjectClosed);
    EXPECT_NO_THROW(r.Open("SELECT * FROM [e];", c, db::adOpenDynamic, db::adLockOptimistic)) << "can open again";
}

TEST_F(RecordsetTest, RecordsetKeepsItsConnectionAfterTheOpenerIsGone) {
    const std::string path = makeNumbers(600);
    db::Recordset r;
    {
        auto c = open(path);
        r.Open("SELECT * FROM [n];", c, db::adOpenDynamic, db::adLockOptimistic);
    }
    EXPECT_EQ(r.valueAt(399, 1), db::Value("row599"));
}

TEST_F(RecordsetTest, SchemaRowsetTypesInFileOrder) {
    auto c = open(makeDb("s.mdb", "CREATE TABLE b (id INTEGER PRIMARY KEY AUTOINCREMENT);"
                                  "CREATE VIEW v AS SELECT * FROM b;"
                                  "CREATE TABLE a (x);"
                                  "CREATE INDEX ax ON a (x);"
                                  "CREATE TABLE \"Order Details\" (y);"
                                  "INSERT INTO b DEFAULT VALUES;"));
    db::Recordset s = c.OpenSchema(db::adSchemaTables);
    Rows listed;
    for (; !s.EOF_(); s.MoveNext())
        listed.push_back(s.field("TABLE_NAME").Value.asText() + "=" + s.field("TABLE_TYPE").Value.asText());
    EXPECT_EQ(listed, (Rows{"sqlite_master=SYSTEM TABLE", "b=TABLE", "sqlite_sequence=SYSTEM TABLE", "v=VIEW",
                            "a=TABLE", "Order Details=TABLE"}));
}

TEST_F(RecordsetTest, CatalogueListsOrdinaryTablesOnly) {
    EXPECT_FALSE(db::FileExists(""));
    EXPECT_FALSE(db::FileExists(file("none.mdb")));
    EXPECT_EQ(db::GetAccessTableNames(file("none.mdb"), db::BuildConnectionString(file("none.mdb"), "")), std::nullopt);
    const std::string empty = makeDb("empty.mdb", "");
    EXPECT_TRUE(db::FileExists(empty));
    EXPECT_EQ(*db::GetAccessTableNames(empty, db::BuildConnectionString(empty, "")), std::vector<std::string>{});

    // The connection string, not the path, decides which file is read.
    const std::string locked = makeDb("pw.mdb", "CREATE TABLE t(a); CREATE VIEW w AS SELECT 1;", "pw");
    EXPECT_EQ(*db::GetAccessTableNames(empty, db::BuildConnectionString(locked, "pw")), std::vector<std::string>{"t"});
    EXPECT_EQ(errorOf([&] { db::GetAccessTableNames(locked, db::BuildConnectionString(locked, "")); }).number(),
              db::err::WrongPassword);
}

TEST_F(RecordsetTest, SampleDatabaseShowsTheToolWell) {
    const std::string sample = ROWSIFTER_SAMPLE_DB;
    if (!db::FileExists(sample))
        GTEST_SKIP() << "sample database not built at " << sample;
    const auto tables = db::GetAccessTableNames(sample, db::BuildConnectionString(sample, ""));
    EXPECT_EQ(*tables, (std::vector<std::string>{"Customers", "Orders", "Products", "MailingList"}));
    auto c = open(sample);
    db::Recordset r;
    r.Open("SELECT * FROM [Customers];", c, db::adOpenDynamic, db::adLockOptimistic);
    EXPECT_EQ(r.field(0).Name, "ID");
    EXPECT_EQ(r.field(0).Type, db::adInteger);
    // Clear repeats on first and last name.
    const Rows names = rows(c, "SELECT `FirstName`, `LastName` FROM `Customers` order by `ID`");
    EXPECT_GE(std::count(names.begin(), names.end(), "Maria|Anders"), 3);
    db::Recordset p;
    p.Open("SELECT * FROM [Products];", c, db::adOpenDynamic, db::adLockOptimistic);
    for (int i = 0; i < p.fieldCount(); ++i)
        EXPECT_NE(p.field(i).Type, db::adInteger) << "Products has no whole-number column";
}

} // namespace
