// The survivor chosen by an order, and the groups counted, each checked against one SQL statement of the
// system's sqlite3 tool over the same file.
#include "cli_fixture.h"
#include "tests/support/sqlite_tool.h"
#include "tests/support/test_support.h"
#include <gtest/gtest.h>

namespace {

using dedupe_test::CliTest;
using dedupe_test::Outcome;
using testsupport::runSqliteTool;

// The identifier n is unique but not in stored order, so a tie must go to the lowest n, not the first
// stored row. Ties, Nulls, and texts that differ in letter case only (the database orders 'B' before 'b').
const char* const kOrders = R"(
CREATE TABLE Orders (n INTEGER, cust TEXT, placed TEXT, amount REAL);
INSERT INTO Orders VALUES (30, 'ann', '2024-03-01', 10.0), (10, 'ann', '2024-03-01', 5.0), (20, 'ann', NULL, 99.0),
    (25, 'bob', NULL, 1.0), (15, 'bob', '2023-01-01', NULL), (40, 'bob', '2023-01-01', 7.0), (35, 'cy', 'b', 2.0),
    (36, 'cy', 'B', 2.0), (5, 'dan', NULL, NULL), (6, 'dan', NULL, NULL), (7, 'eve', 'x', 1.0);
)";

class CliOrder : public CliTest {
protected:
    void SetUp() override {
        ROWSIFTER_REQUIRE_SQLITE_TOOL();
        runSqliteTool(path, kOrders);
    }
    std::string dump(const std::string& sql) { return runSqliteTool(path, sql); }
};

struct OrderCase {
    const char* name;
    std::vector<std::string> options;
    const char* order; // the same order in SQL, ties included
};

void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.name;
}

class CliOrderCase : public CliOrder, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(CliOrderCase, TheFirstRowInTheOrderSurvives) {
    const OrderCase& c = GetParam();
    std::vector<std::string> args = {"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = cli(args);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(dump("SELECT * FROM Kept ORDER BY n;"),
              dump(std::string("SELECT n, cust, placed, amount FROM (SELECT *, row_number() OVER (PARTITION BY cust "
                               "ORDER BY ") +
                   c.order + ") AS r FROM Orders) WHERE r = 1 ORDER BY n;"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliOrderCase,
    ::testing::Values(OrderCase{"Descending", {"--order-by", "placed:desc"}, "placed DESC NULLS LAST, n"},
                      OrderCase{"Ascending", {"--order-by=placed"}, "placed ASC NULLS LAST, n"},
                      OrderCase{"AscendingSaidSo", {"--order-by", "placed:asc"}, "placed ASC NULLS LAST, n"},
                      OrderCase{"KeepLastTurnsItRound",
                                {"--order-by", "placed:desc", "--keep", "last"},
                                "placed ASC NULLS LAST, n DESC"},
                      OrderCase{"TwoFields",
                                {"--order-by", "placed", "--order-by", "amount:desc"},
                                "placed ASC NULLS LAST, amount DESC NULLS LAST, n"},
                      OrderCase{"TwoFieldsKeepLast",
                                {"--order-by", "placed", "--order-by", "amount:desc", "--keep", "last"},
                                "placed DESC NULLS LAST, amount ASC NULLS LAST, n DESC"}),
    [](const auto& test) { return std::string(test.param.name); });

// An identifier that repeats a value cannot tell rows apart, in whatever order the scan runs: the rows are
// numbered in stored order instead, and ties go to the first stored row. A field named with a colon is
// given with its direction.
TEST_F(CliOrder, ARepeatedIdentifierIsJudgedApartFromTheOrder) {
    runSqliteTool(path, "UPDATE Orders SET n = 10 WHERE n = 30; ALTER TABLE Orders ADD COLUMN [at:time] TEXT;"
                        "UPDATE Orders SET [at:time] = placed;");
    const Outcome o = cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--order-by", "at:time:desc"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(dump("SELECT * FROM Kept ORDER BY cust;"),
              dump("SELECT n, cust, placed, amount, [at:time] FROM (SELECT *, row_number() OVER (PARTITION BY cust "
                   "ORDER BY [at:time] DESC NULLS LAST, rowid) AS r FROM Orders) WHERE r = 1 ORDER BY cust;"));

    for (const char* bad : {"placed:down", "nothing", "placed:"}) {
        const Outcome refused = cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "K2", "--order-by", bad});
        EXPECT_NE(refused.status, 0) << bad;
        EXPECT_TRUE(refused.out.empty()) << bad;
    }
}

// The groups of two or more rows, counted by a run and by a dry run; the dry run shows the largest with
// the survivor's values.
TEST_F(CliOrder, GroupsAreCountedAndTheLargestShown) {
    const std::string groups =
        dump("SELECT count(*) FROM (SELECT cust FROM Orders GROUP BY cust HAVING count(*) > 1);");
    const std::string largest = dump("SELECT max(c) FROM (SELECT count(*) AS c FROM Orders GROUP BY cust);");
    const std::string counts = "\"groups\": " + groups.substr(0, groups.size() - 1) +
                               ", \"largest_group\": " + largest.substr(0, largest.size() - 1);
    const Outcome dry = cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--dry-run", "--json",
                             "--groups-into", "Groups", "--order-by", "amount:desc"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find(counts), std::string::npos) << dry.out;
    EXPECT_NE(
        dry.out.find("\"largest_groups\": [{\"values\": \"ann\", \"rows\": 3}, {\"values\": \"bob\", \"rows\": 3}, "
                     "{\"values\": \"cy\", \"rows\": 2}, {\"values\": \"dan\", \"rows\": 2}]"),
        std::string::npos)
        << dry.out;
    const Outcome run = cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(counts), std::string::npos) << run.out;
}

struct GroupsCase {
    const char* name;
    std::vector<std::string> options;
    const char* survivorOrder; // the order in SQL that picks each group's survivor
};

void PrintTo(const GroupsCase& c, std::ostream* os) {
    *os << c.name;
}

class CliGroupsCase : public CliOrder, public ::testing::WithParamInterface<GroupsCase> {};

// The table of groups holds every row of a group of two or more with all its fields, its group's number
// (by the group's lowest identifier), size and whether it survives; the removed rows written beside it are
// exactly the others of each group.
TEST_P(CliGroupsCase, EveryRowOfAGroupWithItsNumberSizeAndSurvivor) {
    const GroupsCase& c = GetParam();
    std::vector<std::string> args = {
        "-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--groups-into", "Groups", "--removed-into", "Gone"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = cli(args);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string grouped =
        std::string("SELECT *, min(n) OVER g AS low, count(*) OVER g AS size, first_value(n) OVER (PARTITION BY "
                    "cust ORDER BY ") +
        c.survivorOrder + ") AS kept FROM Orders WINDOW g AS (PARTITION BY cust)";
    EXPECT_EQ(dump("SELECT * FROM Groups;"),
              dump("SELECT n, cust, placed, amount, dense_rank() OVER (ORDER BY low), size, n = kept FROM (" + grouped +
                   ") WHERE size > 1 ORDER BY low, n;"));
    EXPECT_EQ(dump("SELECT * FROM Gone ORDER BY n;"),
              dump("SELECT n, cust, placed, amount FROM (" + grouped + ") WHERE n <> kept ORDER BY n;"));
    EXPECT_EQ(dump("SELECT count(*) FROM Kept;"), dump("SELECT count(DISTINCT cust) FROM Orders;"));
}

INSTANTIATE_TEST_SUITE_P(Cases, CliGroupsCase,
                         ::testing::Values(GroupsCase{"ByIdentifier", {}, "n"},
                                           GroupsCase{"KeepLastByAnOrder",
                                                      {"--order-by", "amount:desc", "--keep", "last"},
                                                      "amount ASC NULLS LAST, n DESC"}),
                         [](const auto& test) { return std::string(test.param.name); });

// The table of groups is refused before anything changes when its name is taken by another table of the
// run, and when the chosen table has a field of one of its own columns' names.
TEST_F(CliOrder, ATableOfGroupsThatCannotBeWrittenIsRefusedBeforeTheRun) {
    const std::string before = dedupe_test::slurp(path);
    EXPECT_EQ(cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--groups-into", "kept"}).status, 1);
    EXPECT_EQ(cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--groups-into", "Orders"}).status, 1);
    runSqliteTool(path, "CREATE TABLE Marked (id INTEGER PRIMARY KEY, name TEXT, Survivor INTEGER);");
    const std::string marked = dedupe_test::slurp(path);
    const Outcome clash = cli({"-d", path, "-t", "Marked", "-f", "name", "-o", "K", "--groups-into", "G"});
    EXPECT_EQ(clash.status, 1);
    EXPECT_NE(clash.err.find("'Survivor'"), std::string::npos) << clash.err;
    EXPECT_EQ(dedupe_test::slurp(path), marked);
    EXPECT_NE(before, marked);
}

} // namespace
