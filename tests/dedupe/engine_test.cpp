// The engine on real database files and server databases: which rows survive, what the window is told,
// and what happens when statements fail. The cases of EngineOnBothTest run once per back-end, on the same
// table made from the same rows.
#include "db/internal.h"
#include "db/testing/fault_vfs.h"
#include "db/sql_quote.h"
#include "dedupe/engine.h"
#include "fixture.h"
#include "tests/server/server_support.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

namespace {

using dedupe_test::kNull;
using dedupe_test::RecordingHost;
using dedupe_test::Rows;

const char* const kScratch = "TEMP_TABLE_CREATED_BY_QUORVANDELL";

class EngineTest : public ::testing::Test {
protected:
    dedupe_test::TempDir dir;
    std::string path = dir.file("data.mdb"); // or the server database's address
    std::optional<servertest::ServerDatabase> server;
    RecordingHost host;

    virtual bool onServer() const { return false; }
    void SetUp() override {
        if (!onServer())
            return;
        ROWSIFTER_REQUIRE_SERVER();
        server.emplace();
        path = server->uri();
    }

    // The same script makes the same table in a file or on the server.
    void make(const std::string& sql) {
        if (server)
            server->sql(sql);
        else
            dedupe_test::runScript(path, sql);
    }

    dedupe::RunResult run(const std::string& table, const std::vector<std::string>& chosen,
                          const std::string& output = "Result") {
        host.output = output;
        host.listed = dedupe_test::tableNames(path);
        return dedupe::CreateTableWithoutDuplicates(dedupe_test::inputsFor(path, table, chosen), host);
    }

    Rows rows(const std::string& table, const std::string& orderBy = "") {
        return dedupe_test::query(path, "SELECT * FROM " + db::quoteBracket(table) +
                                            (orderBy.empty() ? "" : " ORDER BY " + db::quoteBracket(orderBy)));
    }

    bool hasTable(const std::string& name) {
        const auto names = dedupe_test::tableNames(path);
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    // A finished run that wrote its table: nothing reported, window back to normal, "Done." shown.
    void expectCleanFinish(const dedupe::RunResult& result) {
        EXPECT_TRUE(result.complete());
        EXPECT_TRUE(host.reports.empty()) << host.reports.front().statement << ": " << host.reports.front().description;
        EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
        EXPECT_TRUE(host.bound.has_value());
        EXPECT_EQ(host.pointers, (std::vector<int>{11, 0}));
        EXPECT_FALSE(hasTable(kScratch));
        EXPECT_FALSE(dedupe::isRunning());
    }

    // A run whose output table was not written: the window is restored but claims nothing.
    void expectNotWritten(const dedupe::RunResult& result) {
        EXPECT_TRUE(result.started);
        EXPECT_FALSE(result.outputWritten);
        EXPECT_FALSE(result.complete());
        EXPECT_TRUE(host.messages.empty());
        EXPECT_FALSE(host.bound.has_value());
        EXPECT_EQ(host.pointers, (std::vector<int>{11, 0}));
        ASSERT_FALSE(host.titles.empty());
        EXPECT_EQ(host.titles.back(), "Rowsifter");
        ASSERT_FALSE(host.progressValues.empty());
        EXPECT_EQ(host.progressValues.back(), 0);
        for (const auto& r : host.reports)
            EXPECT_EQ(r.location, "in Quarnelby2021/08/31.Form4.PushButton4_Click ");
    }
};

class EngineOnBothTest : public EngineTest, public ::testing::WithParamInterface<bool> {
protected:
    bool onServer() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Backends, EngineOnBothTest, ::testing::Values(false, true),
                         [](const auto& test) { return std::string(test.param ? "Server" : "File"); });

TEST_P(EngineOnBothTest, KeepsTheRowWithTheLowestIdentifierWithAllItsValues) {
    make("CREATE TABLE \"People\"(id INTEGER, name TEXT, city TEXT);"
         "INSERT INTO \"People\" VALUES (5,'Ann','Oslo'),(2,'Ann','Rome'),(9,'Ann','Bonn'),(7,'Bob','Oslo');");
    const auto result = run("People", {"name"});
    expectCleanFinish(result);
    EXPECT_EQ(rows("Result", "id"), (Rows{{"2", "Ann", "Rome"}, {"7", "Bob", "Oslo"}}));
    EXPECT_EQ(result.rowsRead, 4);
    EXPECT_EQ(result.rowsRemoved, 2);
    EXPECT_EQ(result.rowsWritten, 2);
    EXPECT_EQ(rows("People").size(), 4u) << "the chosen table is only read";
}

TEST_F(EngineTest, ComparesEveryRowWithAllEarlierOnesNotJustNeighbours) {
    make("CREATE TABLE \"T\"(id INTEGER PRIMARY KEY AUTOINCREMENT, a TEXT, b TEXT);"
         "INSERT INTO \"T\"(a,b) VALUES ('A','1'),('B','1'),('A','2'),('B','1'),('C','1'),('A','1'),('A','1');");
    expectCleanFinish(run("T", {"a", "b"}));
    EXPECT_EQ(rows("Result", "id"), (Rows{{"1", "A", "1"}, {"2", "B", "1"}, {"3", "A", "2"}, {"5", "C", "1"}}));
}

TEST_P(EngineOnBothTest, RowsThatAllDifferAreAllKept) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT);"
         "INSERT INTO \"T\" VALUES (1,'x'),(2,'y'),(3,'z');");
    const auto result = run("T", {"a"});
    expectCleanFinish(result);
    EXPECT_EQ(result.rowsRemoved, 0);
    EXPECT_EQ(rows("Result", "id"), rows("T", "id"));
}

TEST_P(EngineOnBothTest, TheLaterOfTwoIntegerColumnsIsTheIdentifier) {
    make("CREATE TABLE \"T\"(a INTEGER, k TEXT, b INTEGER);"
         "INSERT INTO \"T\" VALUES (1,'x',30),(2,'x',10),(3,'x',20);");
    expectCleanFinish(run("T", {"k"}));
    EXPECT_EQ(rows("Result"), (Rows{{"2", "x", "10"}}));
}

TEST_P(EngineOnBothTest, WithoutAnIntegerColumnTheFirstStoredRowStaysAndTheAddedColumnIsNotCopied) {
    make("CREATE TABLE \"T\"(name TEXT, city TEXT, amount REAL);"
         "INSERT INTO \"T\" VALUES ('x','Oslo',1.5),('y','Rome',2),('x','Bonn',3),('y','Oslo',4);");
    expectCleanFinish(run("T", {"name"}));
    EXPECT_EQ(rows("Result"), (Rows{{"x", "Oslo", "1.5"}, {"y", "Rome", "2"}}));
    EXPECT_EQ(dedupe_test::columnNames(path, "Result"), (std::vector<std::string>{"name", "city", "amount"}));
    EXPECT_EQ(dedupe_test::columnNames(path, "T"), (std::vector<std::string>{"name", "city", "amount"}));
}

TEST_P(EngineOnBothTest, EmptyTableGivesAnEmptyTableWithTheSameColumns) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT, b DATE);");
    const auto result = run("T", {"a"});
    expectCleanFinish(result);
    EXPECT_TRUE(rows("Result").empty());
    EXPECT_EQ(dedupe_test::columnNames(path, "Result"), (std::vector<std::string>{"id", "a", "b"}));
    EXPECT_EQ(host.titles, std::vector<std::string>{"Rowsifter"});
    EXPECT_EQ(result.rowsRead, 0);
}

TEST_P(EngineOnBothTest, TitleProgressPointerAndYieldsFollowTheRows) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT, b TEXT);"
         "INSERT INTO \"T\" VALUES (1,'x','p'),(2,'x','p'),(3,'y','p');");
    expectCleanFinish(run("T", {"a", "b"}));
    EXPECT_EQ(host.titles,
              (std::vector<std::string>{"Processing 1 of 3", "Processing 2 of 3", "Processing 3 of 3", "Rowsifter"}));
    EXPECT_EQ(host.progressMaximum, 3);
    EXPECT_EQ(host.progressValues, (std::vector<double>{1, 2, 3, 0}));
    // Once per column of the identifier search, once per row and once per key column of each row.
    EXPECT_EQ(host.yields, 3 + 3 * (1 + 2));
    // The grid is bound before the pointer is restored, and "Done." comes last.
    const auto& e = host.events;
    const auto at = [&](const std::string& what) { return std::find(e.begin(), e.end(), what) - e.begin(); };
    EXPECT_LT(at("bind"), at("pointer 0"));
    EXPECT_EQ(e.back(), "message Done.");
}

TEST_P(EngineOnBothTest, MinimizedWindowIsRestoredBeforeDone) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x');");
    host.minimized = true;
    expectCleanFinish(run("T", {"a"}));
    const auto& e = host.events;
    const auto restore = std::find(e.begin(), e.end(), "restore");
    ASSERT_NE(restore, e.end());
    EXPECT_LT(restore, std::find(e.begin(), e.end(), "message Done."));
    EXPECT_FALSE(host.minimized);
}

// Nulls and empty texts are equal; letter case and blanks are not; a separator inside a value cannot make
// two different rows look alike.
TEST_P(EngineOnBothTest, KeyRulesOnRealRows) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT, b TEXT);"
         "INSERT INTO \"T\" VALUES (1,'Smith',NULL),(2,'Smith',''),(3,'smith',''),(4,'Smith ',''),(5,' Smith',''),"
         "(6,NULL,NULL),(7,'',''),(8,'',NULL),(9,'a, b','c'),(10,'a','b, c'),(11,'a, b','c');");
    const auto result = run("T", {"a", "b"});
    expectCleanFinish(result);
    Rows expected;
    for (const char* id : {"1", "3", "4", "5", "6", "9", "10"})
        expected.push_back(rows("T", "id")[std::stoul(id) - 1]);
    EXPECT_EQ(rows("Result", "id"), expected);
    EXPECT_EQ(result.rowsRemoved, 4);
}

TEST_F(EngineTest, NumbersEqualTextsThatReadTheSame) {
    make("CREATE TABLE \"T\"(id INTEGER, v);"
         "INSERT INTO \"T\" VALUES (1,12),(2,'12'),(3,1.5),(4,'1.5'),(5,'012'),(6,-7),(7,'-7'),(8,X'41'),(9,'A');");
    expectCleanFinish(run("T", {"v"}));
    std::vector<std::string> kept;
    for (const auto& row : rows("Result", "id"))
        kept.push_back(row[0]);
    EXPECT_EQ(kept, (std::vector<std::string>{"1", "3", "5", "6", "8", "9"}));
}

TEST_P(EngineOnBothTest, ReplacesAListedTableOfTheOutputName) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x');"
         "CREATE TABLE \"Old\"(z TEXT); INSERT INTO \"Old\" VALUES ('old');");
    expectCleanFinish(run("T", {"a"}, "Old"));
    EXPECT_EQ(rows("Old"), (Rows{{"1", "x"}}));
}

// The table being replaced goes only when its replacement is ready: a run whose scratch copy fails (here
// the chosen table was dropped behind the program's back) leaves it as it was.
TEST_P(EngineOnBothTest, ATableToBeReplacedSurvivesARunThatCannotCopy) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); CREATE TABLE \"Old\"(z TEXT); INSERT INTO \"Old\" VALUES ('old');");
    const auto inputs = dedupe_test::inputsFor(path, "T", {"a"});
    make("DROP TABLE \"T\";");
    host.output = "Old";
    host.listed = {"T", "Old"};
    const auto result = dedupe::CreateTableWithoutDuplicates(inputs, host);
    expectNotWritten(result);
    EXPECT_EQ(rows("Old"), (Rows{{"old"}}));
}

// The list is filled once and not refreshed, so an existing table may be missing from it; a name that
// differs from a listed one in letter case only is not found in it either. Either way the final copy
// fails, and nothing claims success.
TEST_F(EngineTest, ExistingButUnlistedOutputTableIsReportedNotClaimed) {
    for (const std::string output : {"Old", "old"}) {
        SCOPED_TRACE(output);
        dedupe_test::TempDir here;
        path = here.file("data.mdb");
        host = RecordingHost{};
        make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x');"
             "CREATE TABLE \"Old\"(z TEXT); INSERT INTO \"Old\" VALUES ('old');");
        host.output = output;
        host.listed = {"T"};
        if (output == "old")
            host.listed.push_back("Old");
        const auto result = dedupe::CreateTableWithoutDuplicates(dedupe_test::inputsFor(path, "T", {"a"}), host);
        expectNotWritten(result);
        EXPECT_EQ(host.reportedStatements(), std::vector<int>{198});
        EXPECT_EQ(rows("Old"), (Rows{{"old"}}));
        EXPECT_FALSE(hasTable(kScratch));
    }
}

// The old table and its successor change places in one transaction: when the final copy fails after
// the old table was dropped (here a field list naming a column the work table lacks), the old table is
// back as it was.
TEST_P(EngineOnBothTest, AFinalCopyThatFailsLeavesTheTableItWouldReplace) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x');"
         "CREATE TABLE \"Old\"(z TEXT); INSERT INTO \"Old\" VALUES ('old');");
    dedupe::EngineInputs inputs = dedupe_test::inputsFor(path, "T", {"a"});
    inputs.TableFieldList += ", [gone]";
    host.output = "Old";
    host.listed = {"T", "Old"};
    const auto result = dedupe::CreateTableWithoutDuplicates(inputs, host);
    expectNotWritten(result);
    EXPECT_EQ(host.reportedStatements(), std::vector<int>{198});
    EXPECT_NE(host.reports[0].description.find("the table 'Old'"), std::string::npos) << host.reports[0].description;
    EXPECT_EQ(rows("Old"), (Rows{{"old"}}));
    EXPECT_FALSE(hasTable(kScratch));
}

// Another program takes the file while the scan deletes: the first delete that cannot get the file stops
// the run with one report, nothing is written or replaced, and a run after the lock is gone succeeds.
TEST_F(EngineTest, ALockTakenDuringTheScanStopsTheRunAtOnce) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x'),(3,'y'),(4,'y');"
         "CREATE TABLE \"Old\"(z TEXT); INSERT INTO \"Old\" VALUES ('old');");
    std::shared_ptr<void> lock;
    host.onYield = [&] {
        if (!lock && !host.progressValues.empty())
            lock = db::internal::holdExclusiveLock(path, "");
    };
    const auto result = run("T", {"a"}, "Old");
    expectNotWritten(result);
    EXPECT_EQ(host.reportedStatements(), std::vector<int>{184});
    EXPECT_EQ(result.rowsRemoved, 0);
    const std::string& said = host.reports[0].description;
    EXPECT_NE(said.find("so is the table 'Old'"), std::string::npos) << said;
    EXPECT_FALSE(result.scratchLeft) << "the work table is kept outside the file, so it goes even now";

    lock.reset();
    EXPECT_EQ(rows("T").size(), 4u);
    EXPECT_EQ(rows("Old"), (Rows{{"old"}}));
    host = RecordingHost{};
    expectCleanFinish(run("T", {"a"}, "Old"));
    EXPECT_EQ(rows("Old"), (Rows{{"1", "x"}, {"3", "y"}}));
}

// A fault of the file itself (a read-only file, a full disk, a lock another program takes, a failing
// disk), at the start or in the middle of a run: one report naming the cause and what was kept, no
// "Done.", the chosen table and the table to be replaced as they were, and the work table gone wherever
// the file still allowed it.
struct FaultCase {
    const char* name;
    bool duringScan; // the fault comes at the first row of the scan, else before the run
    db::testing::Faults faults;
    int statement;    // the one report's statement
    const char* says; // part of its text
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class FileFaultTest : public EngineTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FileFaultTest, StopsTheRunWithOneReportAndKeepsEveryTable) {
    const FaultCase& c = GetParam();
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x'),(3,'y'),(4,'y');"
         "CREATE TABLE \"Old\"(z TEXT); INSERT INTO \"Old\" VALUES ('old');");
    const Rows source = rows("T");
    db::testing::FaultVfs vfs(c.duringScan ? db::testing::Faults{} : c.faults);
    bool set = !c.duringScan;
    host.onYield = [&] {
        if (!set && !host.progressValues.empty()) {
            vfs.set(c.faults);
            set = true;
        }
    };
    const auto result = run("T", {"a"}, "Old");
    vfs.set({});
    expectNotWritten(result);
    ASSERT_EQ(host.reportedStatements(), std::vector<int>{c.statement});
    const std::string& said = host.reports[0].description;
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    EXPECT_NE(said.find("so is the table 'Old'"), std::string::npos) << said;
    EXPECT_EQ(rows("T"), source);
    EXPECT_EQ(rows("Old"), (Rows{{"old"}}));
    EXPECT_EQ(hasTable(kScratch), result.scratchLeft);
    EXPECT_EQ(said.find(kScratch) != std::string::npos, result.scratchLeft) << said;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileFaultTest,
    ::testing::Values(FaultCase{"ReadOnlyFile", false, {.readOnly = true}, 110, "read-only"},
                      FaultCase{"LockedFile", false, {.busyFromLock = db::testing::LockLevel::Reserved}, 110,
                                "in use by another program"},
                      FaultCase{"FailingDisk", false, {.syncFails = true}, 120, "disk reported an error"},
                      FaultCase{"DiskFullDuringTheScan", true, {.writeLimit = 0}, 184, "disk is full"},
                      FaultCase{"LockTakenDuringTheScan", true, {.busyFromLock = db::testing::LockLevel::Reserved},
                                184, "in use by another program"}),
    [](const auto& test) { return std::string(test.param.name); });

// The disk fills up when the old table is to make way for the new one: the old one stays.
TEST_F(EngineTest, ADiskThatFillsWhileTheOldTableIsReplacedKeepsIt) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x'),(3,'y');"
         "CREATE TABLE \"Old\"(z TEXT); INSERT INTO \"Old\" VALUES ('old');");
    db::testing::FaultVfs vfs;
    host.onYield = [&] {
        if (host.progressValues.size() == 3) // the last row, which repeats nothing
            vfs.set({.writeLimit = 0});
    };
    const auto result = run("T", {"a"}, "Old");
    vfs.set({});
    expectNotWritten(result);
    ASSERT_EQ(host.reportedStatements(), std::vector<int>{114});
    EXPECT_EQ(rows("Old"), (Rows{{"old"}}));
    EXPECT_EQ(rows("T").size(), 3u);
}

struct IdentifierCase {
    const char* name;
    const char* values; // rows of (id, name) in stored order
    Rows kept;          // the survivors: the first stored row of each name
};

void PrintTo(const IdentifierCase& c, std::ostream* os) {
    *os << c.name;
}

class UnusableIdentifierTest : public EngineTest, public ::testing::WithParamInterface<IdentifierCase> {};

// An integer column that cannot tell rows apart must not decide what a delete removes.
TEST_P(UnusableIdentifierTest, RowsAreNumberedInsteadOfUsingTheColumn) {
    make(std::string("CREATE TABLE \"T\"(id INTEGER, name TEXT); INSERT INTO \"T\" VALUES ") + GetParam().values + ";");
    const auto result = run("T", {"name"});
    expectCleanFinish(result);
    EXPECT_EQ(rows("Result"), GetParam().kept);
    EXPECT_EQ(dedupe_test::columnNames(path, "Result"), (std::vector<std::string>{"id", "name"}));
    // A scan that found the column unusable part way through counts for nothing.
    EXPECT_EQ(result.rowsRead, 3);
    EXPECT_EQ(result.rowsRemoved, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnusableIdentifierTest,
    ::testing::Values(IdentifierCase{"Repeated", "(1,'x'),(2,'x'),(2,'y')", {{"1", "x"}, {"2", "y"}}},
                      IdentifierCase{"Null", "(1,'x'),(NULL,'x'),(2,'y')", {{"1", "x"}, {"2", "y"}}},
                      IdentifierCase{"AllNull", "(NULL,'x'),(NULL,'y'),(NULL,'x')", {{kNull, "x"}, {kNull, "y"}}},
                      IdentifierCase{"Text", "('k','x'),(1,'x'),(2,'y')", {{"k", "x"}, {"2", "y"}}},
                      IdentifierCase{"Fraction", "(1.5,'x'),(1,'x'),(2,'y')", {{"1.5", "x"}, {"2", "y"}}}),
    [](const auto& test) { return std::string(test.param.name); });

// A field already named like the numbering column keeps it from being added; its repeated values must
// then delete nothing rather than rows that are not duplicates, and no table claims to be de-duplicated.
TEST_P(EngineOnBothTest, FieldNamedLikeTheNumberingColumnDeletesNothing) {
    make("CREATE TABLE \"T\"(name TEXT, \"TEMP_COLUMN_CREATED_BY_QUORVANDELL\" REAL);"
         "INSERT INTO \"T\" VALUES ('x', 1.5), ('x', 1.5), ('y', 1.5), ('y', 2.5);");
    const auto result = run("T", {"name"});
    expectNotWritten(result);
    EXPECT_EQ(host.reportedStatements(), std::vector<int>{146});
    EXPECT_EQ(result.rowsRemoved, 0);
    EXPECT_FALSE(hasTable("Result")) << "rows that were not de-duplicated are not written";
    EXPECT_FALSE(hasTable(kScratch));
}

TEST_F(EngineTest, RefusesNamesThatWouldDestroyATableBeforeChangingAnything) {
    struct Case {
        std::string table, output, mentions;
    };
    for (const Case& c : {Case{"People", "People", "People"}, Case{"People", "people", "People"},
                          Case{"People", kScratch, kScratch}, Case{kScratch, "Result", kScratch}}) {
        SCOPED_TRACE(c.table + " -> " + c.output);
        dedupe_test::TempDir here;
        path = here.file("data.mdb");
        host = RecordingHost{};
        make("CREATE TABLE \"People\"(id INTEGER, name TEXT); INSERT INTO \"People\" VALUES (1,'Ann'),(2,'Ann');"
             "CREATE TABLE " +
             std::string(kScratch) +
             "(id INTEGER, name TEXT);"
             "INSERT INTO " +
             kScratch + " VALUES (1,'Ann'),(2,'Ann');");
        const auto result = run(c.table, {"name"}, c.output);
        EXPECT_FALSE(result.started);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].find('"' + c.mentions + '"'), std::string::npos) << host.messages[0];
        EXPECT_TRUE(host.reports.empty());
        EXPECT_TRUE(host.pointers.empty());
        EXPECT_TRUE(host.titles.empty());
        EXPECT_EQ(rows("People").size(), 2u);
        EXPECT_EQ(rows(kScratch).size(), 2u);
        EXPECT_FALSE(hasTable("Result"));
    }
}

TEST_P(EngineOnBothTest, SecondStartWhileRunningIsRefusedQuietly) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x'),(3,'y');");
    const auto inputs = dedupe_test::inputsFor(path, "T", {"a"});
    RecordingHost second;
    second.output = "Other";
    second.listed = dedupe_test::tableNames(path);
    std::optional<dedupe::RunResult> nested;
    bool runningSeen = false;
    host.onYield = [&] {
        runningSeen = runningSeen || dedupe::isRunning();
        if (!nested)
            nested = dedupe::CreateTableWithoutDuplicates(inputs, second);
    };
    EXPECT_FALSE(dedupe::isRunning());
    expectCleanFinish(run("T", {"a"}));
    EXPECT_TRUE(runningSeen);
    ASSERT_TRUE(nested.has_value());
    EXPECT_FALSE(nested->started);
    EXPECT_TRUE(second.events.empty());
    EXPECT_FALSE(hasTable("Other"));
    EXPECT_EQ(rows("Result"), (Rows{{"1", "x"}, {"3", "y"}}));
}

TEST_F(EngineTest, ConnectionThatCannotOpenIsReportedAndNothingIsClaimed) {
    path = dir.file("missing.mdb");
    host.output = "Result";
    dedupe::EngineInputs inputs;
    inputs.connectionString = "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";JET OLEDB:Database Password=";
    inputs.TableName = "T";
    inputs.TableFieldList = "[id], [a]";
    inputs.ChosenFieldList = "`a`";
    const auto result = dedupe::CreateTableWithoutDuplicates(inputs, host);
    expectNotWritten(result);
    // The first failure stops the run: one report, naming the file and what was kept.
    EXPECT_EQ(host.reportedStatements(), std::vector<int>{110});
    EXPECT_NE(host.reports.front().description.find("missing.mdb"), std::string::npos);
    EXPECT_NE(host.reports.front().description.find("Nothing was changed"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path)) << "no file is made where none was";
}

TEST_P(EngineOnBothTest, FailedScratchCopyIsTheOneReport) {
    make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x');");
    dedupe::EngineInputs inputs = dedupe_test::inputsFor(path, "T", {"a"});
    inputs.TableName = "Gone";
    host.output = "Result";
    host.listed = {"T"};
    const auto result = dedupe::CreateTableWithoutDuplicates(inputs, host);
    expectNotWritten(result);
    EXPECT_EQ(host.reportedStatements(), std::vector<int>{120});
    EXPECT_NE(host.reports.front().description.find("Gone"), std::string::npos);
    EXPECT_FALSE(hasTable("Result"));
    EXPECT_EQ(rows("T").size(), 1u);
}

// A work table left behind is replaced whether or not the list shows it, so its stale rows never reach
// the output.
TEST_F(EngineTest, LeftoverWorkTableIsReplaced) {
    for (bool listed : {true, false}) {
        SCOPED_TRACE(listed ? "listed" : "not listed");
        dedupe_test::TempDir here;
        path = here.file("data.mdb");
        host = RecordingHost{};
        make("CREATE TABLE \"T\"(id INTEGER, a TEXT); INSERT INTO \"T\" VALUES (1,'x'),(2,'x'),(3,'y');"
             "CREATE TABLE " +
             std::string(kScratch) + "(id INTEGER, a TEXT); INSERT INTO " + kScratch + " VALUES (7,'stale');");
        host.output = "Result";
        host.listed = {"T"};
        if (listed)
            host.listed.push_back(kScratch);
        const auto result = dedupe::CreateTableWithoutDuplicates(dedupe_test::inputsFor(path, "T", {"a"}), host);
        expectCleanFinish(result);
        EXPECT_EQ(rows("Result"), (Rows{{"1", "x"}, {"3", "y"}}));
    }
}

TEST_P(EngineOnBothTest, NamesWithBlanksBracketsAndBackQuotesAreQuoted) {
    make("CREATE TABLE \"Order Lines]\"(\"No\" INTEGER, \"First Name\" TEXT, \"we]ird\" TEXT, \"back`tick\" TEXT);"
         "INSERT INTO \"Order Lines]\" VALUES (1,'a','b','c'),(2,'a','b','d'),(3,'a','b','c');");
    expectCleanFinish(run("Order Lines]", {"First Name", "we]ird", "back`tick"}, "Result [`1`]"));
    EXPECT_EQ(rows("Result [`1`]", "No"), (Rows{{"1", "a", "b", "c"}, {"2", "a", "b", "d"}}));
}

// A listed table that is already gone when the run drops it is not a failure: the drop's aim is met. Seen
// in the wizard, whose list is filled once: a leftover work table is dropped by the first run and still
// listed for the second; a listed output table is dropped by another program before the run.
TEST_F(EngineTest, ADropOfAListedTableAlreadyGoneIsNoFailure) {
    make("CREATE TABLE T(id INTEGER, a TEXT); INSERT INTO T VALUES (1,'x'),(2,'x'),(3,'y');"
         "CREATE TABLE Old(z TEXT); CREATE TABLE " +
         std::string(kScratch) + "(id INTEGER, a TEXT);");
    const auto inputs = dedupe_test::inputsFor(path, "T", {"a"});
    const std::vector<std::string> listed = {"T", "Old", kScratch};
    make("DROP TABLE Old;");
    for (const std::string output : {"Result", "Result2", "Old"}) {
        SCOPED_TRACE(output);
        host = RecordingHost{};
        host.output = output;
        host.listed = listed;
        expectCleanFinish(dedupe::CreateTableWithoutDuplicates(inputs, host));
        EXPECT_EQ(rows(output), (Rows{{"1", "x"}, {"3", "y"}}));
    }
}

// Names the run refuses before anything changes or any window state is touched, for the output and for
// the table of removed rows: no name at all, and the program's own namespace in any letter case.
TEST_F(EngineTest, EmptyAndInternalNamesAreRefusedBeforeTheRun) {
    make("CREATE TABLE T(id INTEGER, a TEXT); INSERT INTO T VALUES (1,'x'),(2,'x');");
    struct Case {
        std::string output, removedInto;
    };
    for (const Case& c : {Case{"", ""}, Case{"rowsifter_internal_x", ""}, Case{"ROWSIFTER_Internal_y", ""},
                          Case{"Result", "rowsifter_internal_z"}}) {
        SCOPED_TRACE(c.output + " / " + c.removedInto);
        host = RecordingHost{};
        host.output = c.output;
        host.listed = {"T"};
        auto inputs = dedupe_test::inputsFor(path, "T", {"a"});
        inputs.options.removedInto = c.removedInto;
        const auto result = dedupe::CreateTableWithoutDuplicates(inputs, host);
        EXPECT_FALSE(result.started);
        EXPECT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages, std::vector<std::string>{result.refusal});
        EXPECT_TRUE(host.reports.empty());
        EXPECT_TRUE(host.pointers.empty());
        EXPECT_EQ(dedupe_test::tableNames(path), std::vector<std::string>{"T"});
    }
}

// "Nothing was changed" is said only when nothing was: a run that dropped a work table an earlier run had
// left in the file and then failed names that table instead.
TEST_F(EngineTest, AFailedRunSaysWhetherItDroppedALeftoverWorkTable) {
    for (bool leftover : {false, true}) {
        SCOPED_TRACE(leftover ? "leftover" : "none");
        dedupe_test::TempDir here;
        path = here.file("data.mdb");
        host = RecordingHost{};
        make("CREATE TABLE T(id INTEGER, a TEXT); INSERT INTO T VALUES (1,'x'),(2,'x');" +
             (leftover ? "CREATE TABLE " + std::string(kScratch) + "(id INTEGER);" : std::string()));
        dedupe::EngineInputs inputs = dedupe_test::inputsFor(path, "T", {"a"});
        inputs.TableFieldList += ", [gone]"; // the final copy fails
        host.output = "Result";
        host.listed = dedupe_test::tableNames(path);
        const auto result = dedupe::CreateTableWithoutDuplicates(inputs, host);
        expectNotWritten(result);
        ASSERT_EQ(host.reportedStatements(), std::vector<int>{198});
        const std::string& said = host.reports[0].description;
        EXPECT_EQ(said.find("Nothing was changed") != std::string::npos, !leftover) << said;
        EXPECT_EQ(result.kept.find(kScratch) != std::string::npos, leftover) << result.kept;
        EXPECT_FALSE(hasTable(kScratch));
    }
}

} // namespace
