// The statements of the dialect and what they do to a real file.
#include "db/catalogue.h"
#include "db/sql_quote.h"
#include "db_test_support.h"
#include "tests/support/sqlite_tool.h"
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using dbtest::errorOf;
using Rows = std::vector<std::string>;

class StatementTest : public dbtest::TempDir {
protected:
    void SetUp() override {
        TempDir::SetUp();
        m_path = makeDb("shop.mdb", R"(
            CREATE TABLE Customers (ID INTEGER PRIMARY KEY AUTOINCREMENT, First VARCHAR(50), Last TEXT(50),
                                    Born DATETIME, Credit CURRENCY, Note MEMO, Photo BLOB, Anything);
            INSERT INTO Customers (First, Last, Born, Credit, Note) VALUES
                ('Ann', 'Lee', '1980-01-02', 10.5, NULL), ('Bob', 'Ray', NULL, 0, 'x'),
                ('Ann', 'Lee', '1980-01-02', 7, ''), ('Cy', 'Moe', NULL, NULL, NULL);
            CREATE TABLE Plain (Name TEXT, Town TEXT);
            INSERT INTO Plain VALUES ('p', 'q'), ('r', 's'), ('t', 'u'), ('v', 'w'), ('x', 'y');
            CREATE VIEW Lees AS SELECT * FROM Customers WHERE Last = 'Lee';
        )");
        m_c = open(m_path);
    }

    std::vector<std::pair<std::string, int>> fieldsOf(const std::string& table) {
        db::Recordset r;
        r.Open("SELECT * FROM " + db::quoteBracket(table) + ";", m_c, db::adOpenDynamic, db::adLockOptimistic);
        std::vector<std::pair<std::string, int>> out;
        for (int i = 0; i < r.fieldCount(); ++i)
            out.emplace_back(r.field(i).Name, r.field(i).Type);
        return out;
    }

    std::string m_path;
    db::Connection m_c;
};

TEST_F(StatementTest, SelectIntoCopiesRowsAndDeclaredTypesInStoredOrder) {
    m_c.Execute("DELETE FROM [Customers] WHERE [ID] = 2");
    m_c.Execute("SELECT * INTO [Copy] From [Customers]");
    EXPECT_EQ(rows(m_c, "SELECT * FROM [Copy];"), rows(m_c, "SELECT * FROM [Customers];"));
    EXPECT_EQ(fieldsOf("Copy"), fieldsOf("Customers"));
    EXPECT_EQ(fieldsOf("Copy")[0], (std::pair<std::string, int>{"ID", db::adInteger}));
    EXPECT_EQ(fieldsOf("Copy")[7].second, db::adVariant);

    // The copied ID is a plain integer column, no longer numbering new rows itself.
    db::internal::executeScript(m_path, "", "INSERT INTO Copy (First) VALUES ('new');");
    EXPECT_EQ(rows(m_c, "SELECT [ID] FROM [Copy] WHERE [First] = 'new'"), Rows{"<null>"});

    m_c.Execute("SELECT [Last], [First] INTO [Names] FROM [Customers]");
    EXPECT_EQ(rows(m_c, "SELECT * FROM `Names`;"), (Rows{"Lee|Ann", "Lee|Ann", "Moe|Cy"}));
    EXPECT_EQ(fieldsOf("Names"),
              (std::vector<std::pair<std::string, int>>{{"Last", db::adVarWChar}, {"First", db::adVarWChar}}));
}

// The rows SELECT ... INTO wrote are known without counting them again, but only while nothing has
// changed the table since: a reader always gets the table's own count.
TEST_F(StatementTest, CountOfAWrittenTableFollowsLaterChanges) {
    struct Case {
        const char* name;
        std::function<void()> change;
        long long rows;
    };
    const Case cases[] = {
        {"nothing", [] {}, 5},
        {"a delete on this connection", [&] { m_c.Execute("DELETE FROM [Copy] WHERE [Name] = 'p'"); }, 4},
        {"an insert by another program",
         [&] { db::internal::executeScript(m_path, "", "INSERT INTO Copy VALUES ('n', 'm');"); }, 6},
        {"a replacement undone",
         [&] {
             m_c.BeginTrans();
             m_c.Execute("DROP TABLE [Copy]");
             m_c.Execute("SELECT * INTO [Copy] FROM [Plain] WHERE [Name] = 'p'");
             m_c.RollbackTrans();
         },
         5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_c.Execute("SELECT * INTO [Copy] FROM [Plain]");
        c.change();
        {
            db::Recordset r;
            r.Open("SELECT * FROM [Copy];", m_c, db::adOpenKeyset, db::adLockReadOnly);
            EXPECT_EQ(r.RecordCount(), c.rows);
        }
        m_c.Execute("DROP TABLE [Copy]");
    }
}

TEST_F(StatementTest, SelectIntoRefusesAnExistingTargetOrMissingNames) {
    auto e = errorOf([&] { m_c.Execute("SELECT * INTO [plain] From [Customers]"); });
    EXPECT_EQ(e.number(), db::err::TableExists);
    EXPECT_NE(e.description().find("'plain' already exists"), std::string::npos) << e.description();
    EXPECT_EQ(rows(m_c, "SELECT * FROM [Plain];").size(), 5u) << "the existing table is untouched";

    e = errorOf([&] { m_c.Execute("SELECT * INTO [New] From [Nowhere]"); });
    EXPECT_EQ(e.number(), db::err::NoSuchTable);
    EXPECT_NE(e.description().find("Table 'Nowhere' does not exist in the database file '" + m_path),
              std::string::npos);

    e = errorOf([&] { m_c.Execute("SELECT [First], [Middle] INTO [New] FROM [Customers]"); });
    EXPECT_EQ(e.number(), db::err::NoSuchColumn);
    EXPECT_EQ(e.description(), "Field 'Middle' not found in table 'Customers'.");
    // Nothing half-made is left behind.
    EXPECT_EQ(errorOf([&] { m_c.Execute("DROP TABLE [New]"); }).number(), db::err::NoSuchTable);
}

TEST_F(StatementTest, IdentityNumbersRowsInStoredOrderAfterGaps) {
    m_c.Execute("SELECT * INTO [s] From [Plain]");
    m_c.Execute("ALTER TABLE [s] ADD COLUMN [c] LONG IDENTITY(1,1)");
    EXPECT_EQ(rows(m_c, "SELECT * FROM [s];"), (Rows{"p|q|1", "r|s|2", "t|u|3", "v|w|4", "x|y|5"}));
    EXPECT_EQ(fieldsOf("s").back(), (std::pair<std::string, int>{"c", db::adInteger}));

    // Deleted rows leave gaps in the source; a new identity numbers the remaining rows 1..n again.
    m_c.Execute("delete from `s` where `c`=2");
    m_c.Execute("delete from `s` where `c`=4");
    m_c.Execute("SELECT [Name], [Town] INTO [t2] FROM [s]");
    m_c.Execute("ALTER TABLE [t2] ADD [n] COUNTER");
    EXPECT_EQ(rows(m_c, "SELECT `Name`, `n` FROM `t2` order by `n`"), (Rows{"p|1", "t|2", "x|3"}));

    const auto e = errorOf([&] { m_c.Execute("ALTER TABLE [s] ADD COLUMN [C] LONG IDENTITY(1,1)"); });
    EXPECT_NE(e.description().find("Field 'C' already exists in table 's'"), std::string::npos) << e.description();
}

TEST_F(StatementTest, IdentityOnATableWithItsOwnRowidColumn) {
    m_c.Execute("DELETE FROM [Customers] WHERE [ID] = 1");
    m_c.Execute("ALTER TABLE [Customers] ADD COLUMN [Seq] LONG IDENTITY(1,1)");
    EXPECT_EQ(rows(m_c, "SELECT [ID], [Seq] FROM [Customers] ORDER BY [ID]"), (Rows{"2|1", "3|2", "4|3"}));
    m_c.Execute("DELETE FROM [Customers] WHERE [Seq] = 2");
    EXPECT_EQ(rows(m_c, "SELECT [ID] FROM [Customers]"), (Rows{"2", "4"}));
}

TEST_F(StatementTest, RebuildKeepsConstraintsIndexesAndUniqueness) {
    db::internal::executeScript(m_path, "", R"(
        CREATE TABLE Keyed (Code TEXT PRIMARY KEY, Qty INTEGER NOT NULL DEFAULT 3);
        CREATE INDEX KeyedQty ON Keyed (Qty);
        INSERT INTO Keyed VALUES ('b', 1), ('a', 2);)");
    m_c.Execute("ALTER TABLE [Keyed] ADD COLUMN [n] LONG IDENTITY(1,1)");
    EXPECT_EQ(rows(m_c, "SELECT * FROM [Keyed];"), (Rows{"b|1|1", "a|2|2"}));
    EXPECT_THROW(db::internal::executeScript(m_path, "", "INSERT INTO Keyed (Code) VALUES ('a');"), db::Error);
    db::internal::executeScript(m_path, "", "INSERT INTO Keyed (Code) VALUES ('c');");
    EXPECT_EQ(rows(m_c, "SELECT * FROM [Keyed] WHERE [Code] = 'c'"), Rows{"c|3|3"});
    EXPECT_NE(db::internal::deletePlan(m_c, "DELETE FROM [Keyed] WHERE [Qty] = 1").find("KeyedQty"), std::string::npos);
}

TEST_F(StatementTest, DeletesNeverScan) {
    // By the rowid itself when the column is the table's INTEGER PRIMARY KEY.
    EXPECT_NE(db::internal::deletePlan(m_c, "delete from `Customers` where `ID`=3").find("INTEGER PRIMARY KEY"),
              std::string::npos);
    // Through an index made once for any other column; the index stays out of the table list.
    m_c.Execute("SELECT * INTO [s] From [Customers]");
    const std::string plan = db::internal::deletePlan(m_c, "delete from `s` where `ID`=3");
    EXPECT_NE(plan.find("USING INDEX"), std::string::npos) << plan;
    m_c.Execute("delete from `s` where `ID`=3");
    m_c.Execute("delete from `s` where `ID`=42"); // no such row: nothing happens
    EXPECT_EQ(rows(m_c, "SELECT `ID` FROM `s` order by `ID`"), (Rows{"1", "2", "4"}));
    const auto names = db::GetAccessTableNames(m_path, db::BuildConnectionString(m_path, ""));
    EXPECT_EQ(*names, (std::vector<std::string>{"Customers", "Plain", "s"}));
    // Text values, and the rowid under its own name.
    m_c.Execute("DELETE FROM [Plain] WHERE [Town] = 's'");
    m_c.Execute("DELETE FROM [Plain] WHERE [rowid] = 1");
    EXPECT_EQ(rows(m_c, "SELECT [Name] FROM [Plain]"), (Rows{"t", "v", "x"}));
}

TEST_F(StatementTest, EffectsAreVisibleAtOnceAndDurableAfterClose) {
    for (int id : {1, 3})
        m_c.Execute("delete from `Customers` where `ID`=" + std::to_string(id));
    EXPECT_EQ(rows(m_c, "SELECT [ID] FROM [Customers]"), (Rows{"2", "4"}));
    m_c.Execute("delete from `Customers` where `ID`=4");
    m_c.Close();
    auto other = open(m_path);
    EXPECT_EQ(rows(other, "SELECT [ID] FROM [Customers]"), Rows{"2"});
}

TEST_F(StatementTest, KilledProcessLeavesTheFileConsistent) {
    m_c.Execute("SELECT * INTO [s] From [Plain]");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Deletes batched but never committed, then the process dies without any clean-up.
        auto c = open(m_path);
        c.Execute("DROP TABLE [s]");
        c.Execute("SELECT * INTO [s] From [Customers]");
        c.Execute("DELETE FROM [s] WHERE [ID] = 1");
        c.Execute("DELETE FROM [s] WHERE [ID] = 2");
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    auto c = open(m_path);
    // Committed schema changes are there in full; the uncommitted deletes are not.
    EXPECT_EQ(rows(c, "SELECT [ID] FROM [s]"), (Rows{"1", "2", "3", "4"}));
}

TEST_F(StatementTest, AColumnNamedRowidDoesNotHideTheStoredOrder) {
    db::internal::executeScript(m_path, "", R"(
        CREATE TABLE r (rowid TEXT, v TEXT);
        INSERT INTO r VALUES ('c', 'first'), ('b', 'second'), ('a', 'third');)");
    m_c.Execute("SELECT * INTO [r2] From [r]");
    m_c.Execute("ALTER TABLE [r2] ADD COLUMN [n] LONG IDENTITY(1,1)");
    EXPECT_EQ(rows(m_c, "SELECT * FROM [r2];"), (Rows{"c|first|1", "b|second|2", "a|third|3"}));
    m_c.Execute("DELETE FROM [r2] WHERE [rowid] = 'b'"); // the column, not the row number
    EXPECT_EQ(rows(m_c, "SELECT [v] FROM [r2];", db::adOpenDynamic), (Rows{"first", "third"}));
}

TEST_F(StatementTest, DropTableRemovesTablesOnly) {
    m_c.Execute("DROP TABLE [Plain]");
    EXPECT_EQ(errorOf([&] { rows(m_c, "SELECT * FROM [Plain];"); }).number(), db::err::NoSuchTable);
    EXPECT_EQ(errorOf([&] { m_c.Execute("DROP TABLE [Plain]"); }).number(), db::err::NoSuchTable);
    EXPECT_THROW(m_c.Execute("DROP TABLE [Lees]"), db::Error);
    EXPECT_EQ(rows(m_c, "SELECT [First] FROM [Lees]"), (Rows{"Ann", "Ann"}));
}

TEST_F(StatementTest, AwkwardNamesWorkThroughEveryStatement) {
    const std::string names[] = {"Order Details",       "a]b", "x`y", "it's \"quoted\"", "Größe", "日本語 テーブル",
                                 "x]; DROP TABLE Plain"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string b = db::quoteBracket(name), q = db::quoteBackquote(name);
        m_c.Execute("SELECT [Name] INTO " + b + " FROM [Plain]");
        m_c.Execute("ALTER TABLE " + b + " ADD COLUMN " + b + " LONG IDENTITY(1,1)");
        m_c.Execute("delete from " + q + " where " + q + "=2");
        EXPECT_EQ(rows(m_c, "SELECT " + q + " FROM " + q + " order by " + q), (Rows{"1", "3", "4", "5"}));
        EXPECT_EQ(fieldsOf(name).back().first, name);
        m_c.Execute("DROP TABLE " + b);
    }
    EXPECT_EQ(rows(m_c, "SELECT * FROM [Plain];").size(), 5u);
}

// Names that are not UTF-8 (Latin-1 here) reach the file byte for byte through every statement, and a
// name differing only in a non-ASCII letter's case is another table, as SQLite itself sees it.
TEST_F(StatementTest, NamesReachTheFileByteForByte) {
    ROWSIFTER_REQUIRE_SQLITE_TOOL();
    const std::string cafe = "caf\xE9", cafeUpper = "CAF\xC9", degree = "n\xB0";
    m_c.Execute("SELECT [Name] INTO [" + cafe + "] FROM [Plain]");
    m_c.Execute("SELECT [Town] INTO [" + cafeUpper + "] FROM [Plain]");
    m_c.Execute("ALTER TABLE [" + cafe + "] ADD COLUMN [" + degree + "] LONG IDENTITY(1,1)");
    m_c.Execute("DELETE FROM [" + cafe + "] WHERE [" + degree + "] = 2");
    m_c.Execute("SELECT [" + degree + "] INTO [" + cafe + "2] FROM [" + cafe + "]");
    m_c.Execute("DROP TABLE [" + cafe + "2]");
    EXPECT_EQ(rows(m_c, "SELECT * FROM [" + cafe + "]"), (Rows{"p|1", "t|3", "v|4", "x|5"}));
    EXPECT_EQ(rows(m_c, "SELECT * FROM [" + cafeUpper + "]").size(), 5u);
    const auto names = db::GetAccessTableNames(m_path, db::BuildConnectionString(m_path, ""));
    EXPECT_EQ(*names, (std::vector<std::string>{"Customers", "Plain", cafeUpper, cafe})) << "rebuilt last";
    m_c.Close();
    EXPECT_EQ(testsupport::runSqliteTool(m_path, "SELECT hex(name) FROM pragma_table_info(x'636166E9');"
                                                 "SELECT hex(name) FROM sqlite_master WHERE name LIKE 'c%';"),
              "4E616D65\n6EB0\n" // Name, n°
              "437573746F6D657273\n434146C9\n636166E9\n");
}

TEST_F(StatementTest, InjectionAttemptsRunNothing) {
    const char* attempts[] = {
        "SELECT * FROM [Plain]; DROP TABLE Plain]",
        "DROP TABLE [x]; DROP TABLE [Plain]",
        "SELECT * INTO [o] FROM [Plain]; DELETE FROM [Plain] WHERE [Name] = 'p'",
        "DELETE FROM [Plain] WHERE [Name] = 'p' OR 1 = 1",
        "DELETE FROM [Plain] WHERE [Name] = 'p'; --",
    };
    for (const char* sql : attempts)
        EXPECT_EQ(errorOf([&] { m_c.Execute(sql); }).number(), db::err::SyntaxError) << sql;
    // A quoted name holding SQL is only ever a name.
    EXPECT_EQ(errorOf([&] { m_c.Execute("DROP TABLE [Plain]]; DROP TABLE [Customers]"); }).number(),
              db::err::NoSuchTable);
    EXPECT_NO_THROW(m_c.Execute("DELETE FROM [Plain] WHERE [Name] = 'x'' OR ''1''=''1'"))
        << "a quoted literal matches nothing and is no error";
    EXPECT_EQ(rows(m_c, "SELECT * FROM [Plain];").size(), 5u);
    EXPECT_EQ(rows(m_c, "SELECT * FROM [Customers];").size(), 4u);
}

} // namespace
