// Files written by the system's sqlite3 tool with schema features SQLCipher's older SQLite cannot read,
// and files with virtual tables: each opens, lists only its ordinary tables, and takes the statements the
// duplicate remover sends.
#include "db/internal.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "tests/support/sqlite_tool.h"

namespace {

using testsupport::errorOf;
using Rows = std::vector<std::string>;

struct NewerFile {
    const char* name;
    const char* script;
    Rows tables;          // what the table list shows
    const char* table;    // one of them
    Rows rows;            // its rows through the dialect
    const char* check;    // run by the tool afterwards: the file's own features still work
    const char* expected; // what the check prints
};

void PrintTo(const NewerFile& f, std::ostream* os) {
    *os << f.name;
}

const NewerFile kFiles[] = {
    {"StrictTable",
     "CREATE TABLE s (id INTEGER PRIMARY KEY, v ANY, n INT) STRICT;"
     "INSERT INTO s (v, n) VALUES ('007', 1), (7, 1), (x'00', 2);",
     {"s"},
     "s",
     {"1|007|1", "2|7|1", "3|00|2"},
     "SELECT typeof(v) FROM s ORDER BY id;",
     "text\ninteger\nblob\n"},
    {"GeneratedColumns",
     "CREATE TABLE g (a INTEGER, b INTEGER GENERATED ALWAYS AS (a * 2) VIRTUAL, c TEXT AS (a || 'x') STORED);"
     "INSERT INTO g (a) VALUES (1), (2), (1);",
     {"g"},
     "g",
     {"1|2|1x", "2|4|2x", "1|2|1x"},
     "INSERT INTO g (a) VALUES (5); SELECT b, c FROM g WHERE a = 5;",
     "10|5x\n"},
    {"WindowFunctionView",
     "CREATE TABLE w (a TEXT); INSERT INTO w VALUES ('b'), ('a'), ('c');"
     "CREATE VIEW v AS SELECT a, row_number() OVER (ORDER BY a) AS n FROM w;",
     {"w"},
     "w",
     {"b", "a", "c"},
     "SELECT * FROM v;",
     "a|1\nb|2\nc|3\n"},
    {"UpsertInTrigger",
     "CREATE TABLE c (k TEXT PRIMARY KEY, n INTEGER); CREATE TABLE l (k TEXT);"
     "CREATE TRIGGER tr AFTER INSERT ON l BEGIN "
     "INSERT INTO c VALUES (new.k, 1) ON CONFLICT (k) DO UPDATE SET n = n + 1; END;"
     "INSERT INTO l VALUES ('a'), ('b'), ('a');",
     {"c", "l"},
     "l",
     {"a", "b", "a"},
     "INSERT INTO l (k) VALUES ('a'); SELECT n FROM c WHERE k = 'a';",
     "3\n"},
};

// While it lives, connections opened behave as if the system's SQLite could not be loaded.
class WithoutNewerLibrary {
public:
    WithoutNewerLibrary() { db::internal::pretendSystemSqliteMissing(true); }
    ~WithoutNewerLibrary() { db::internal::pretendSystemSqliteMissing(false); }
    WithoutNewerLibrary(const WithoutNewerLibrary&) = delete;
    WithoutNewerLibrary& operator=(const WithoutNewerLibrary&) = delete;
};

class NewerFileTest : public testsupport::TempDirTest, public ::testing::WithParamInterface<NewerFile> {
protected:
    // A plain file any SQLite reads, to learn which library a connection uses.
    std::string simpleFile() { return makeDb("simple.db", "CREATE TABLE p (a);"); }
};

TEST_P(NewerFileTest, OpensListsAndTakesTheRemoversStatements) {
    ROWSIFTER_REQUIRE_SQLITE_TOOL();
    const NewerFile& f = GetParam();
    const std::string path = file("newer.db");
    testsupport::runSqliteTool(path, f.script);
    EXPECT_EQ(testsupport::tableNames(path), f.tables);

    auto c = testsupport::openConnection(path);
    const std::string table = db::quoteBracket(f.table);
    EXPECT_EQ(testsupport::joinedRows(c, "SELECT * FROM " + table, db::adOpenStatic), f.rows);
    // A copy numbered and thinned by identifier, as a run does it.
    c.Execute("SELECT * INTO [copy] FROM " + table);
    c.Execute("ALTER TABLE [copy] ADD COLUMN [n_id] LONG IDENTITY(1,1)");
    c.Execute("DELETE FROM [copy] WHERE [n_id] = 2");
    Rows numbered;
    for (std::size_t i = 0; i < f.rows.size(); ++i)
        numbered.push_back(f.rows[i] + "|" + std::to_string(i + 1));
    Rows thinned = numbered;
    thinned.erase(thinned.begin() + 1);
    EXPECT_EQ(testsupport::joinedRows(c, "SELECT * FROM [copy]", db::adOpenDynamic), thinned);
    // The file's own table takes a numbering column too, and keeps its features.
    c.Execute("ALTER TABLE " + table + " ADD COLUMN [n_id] LONG IDENTITY(1,1)");
    EXPECT_EQ(testsupport::joinedRows(c, "SELECT * FROM " + table, db::adOpenKeyset), numbered);
    c.Execute("DROP TABLE [copy]");
    c.Close();

    EXPECT_EQ(testsupport::runSqliteTool(path, f.check), f.expected);
    EXPECT_EQ(testsupport::runSqliteTool(path, "PRAGMA integrity_check;"), "ok\n");
}

TEST_P(NewerFileTest, WithoutTheNewerLibraryTheMessageSaysWhy) {
    ROWSIFTER_REQUIRE_SQLITE_TOOL();
    const std::string path = file("newer.db");
    testsupport::runSqliteTool(path, GetParam().script);
    const std::string simple = simpleFile();
    std::string olderVersion;
    db::Error e(0, "");
    {
        WithoutNewerLibrary without;
        auto c = testsupport::openConnection(simple); // plain files still open, through SQLCipher
        olderVersion = db::internal::sqliteVersionOf(c);
        e = errorOf([&] { testsupport::openConnection(path); });
    }
    EXPECT_EQ(e.number(), db::err::NotADatabase);
    for (const std::string& words :
         {path, std::string("newer SQLite version"), "SQLite " + olderVersion, std::string("is missing")})
        EXPECT_NE(e.description().find(words), std::string::npos) << words << " in: " << e.description();
    EXPECT_EQ(e.description().find("damaged"), std::string::npos) << e.description();
    EXPECT_NO_THROW(testsupport::openConnection(path)) << "with the library back, the file opens";
}

INSTANTIATE_TEST_SUITE_P(Files, NewerFileTest, ::testing::ValuesIn(kFiles),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(NewerFileTest, PlainFilesUseTheNewerLibraryAndEncryptedOnesSqlcipher) {
    const std::string simple = simpleFile();
    const std::string locked = makeDb("locked.db", "CREATE TABLE p (a);", "pw");
    const std::string plainVersion = db::internal::sqliteVersionOf(testsupport::openConnection(simple));
    const std::string cipherVersion = db::internal::sqliteVersionOf(testsupport::openConnection(locked, "pw"));
    std::string fallbackVersion;
    {
        WithoutNewerLibrary without;
        fallbackVersion = db::internal::sqliteVersionOf(testsupport::openConnection(simple));
    }
    EXPECT_NE(plainVersion, cipherVersion);
    EXPECT_EQ(fallbackVersion, cipherVersion);
}

// Virtual tables and the shadow tables that hold their data are no tables to pick, with either library
// (SQLCipher's has no FTS5 module at all); an ordinary table named like a shadow table still is one.
TEST_F(NewerFileTest, VirtualAndShadowTablesAreNotListed) {
    ROWSIFTER_REQUIRE_SQLITE_TOOL();
    const std::string path = file("virtual.db");
    testsupport::runSqliteTool(path, "CREATE TABLE notes (t TEXT);"
                                "CREATE VIRTUAL TABLE ft USING fts5(body); INSERT INTO ft VALUES ('hello');"
                                "CREATE VIRTUAL TABLE \"Old Text\" USING fts4(body);"
                                "CREATE VIRTUAL TABLE IF NOT EXISTS main.rt USING rtree(id, x0, x1);"
                                "CREATE TABLE ft_extra (a); CREATE TABLE rt_nodes (a);");
    const Rows expected{"notes", "ft_extra", "rt_nodes"};
    EXPECT_EQ(testsupport::tableNames(path), expected);
    WithoutNewerLibrary without;
    EXPECT_EQ(testsupport::tableNames(path), expected);
}

} // namespace
