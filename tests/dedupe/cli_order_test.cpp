// The survivor chosen by an order, and the groups counted and written, each checked against one SQL
// statement over the same table: the system's sqlite3 tool on a file, the server itself on a server
// database. The cases run once per back-end.
#include "cli_fixture.h"
#include <gtest/gtest.h>

namespace {

using dedupe_test::Outcome;

// The identifier n is unique but not in stored order, so a tie must go to the lowest n, not the first
// stored row. Ties, Nulls, and texts that differ in letter case only (ordered as the database orders them).
const char* const kOrders = R"(
CREATE TABLE "Orders" (n INTEGER, cust TEXT, placed TEXT, amount REAL);
INSERT INTO "Orders" VALUES (30, 'ann', '2024-03-01', 10.0), (10, 'ann', '2024-03-01', 5.0), (20, 'ann', NULL, 99.0),
    (25, 'bob', NULL, 1.0), (15, 'bob', '2023-01-01', NULL), (40, 'bob', '2023-01-01', 7.0), (35, 'cy', 'b', 2.0),
    (36, 'cy', 'B', 2.0), (5, 'dan', NULL, NULL), (6, 'dan', NULL, NULL), (7, 'eve', 'x', 1.0);
)";

class CliOrder : public dedupe_test::PerBackend {
protected:
    void SetUp() override {
        PerBackend::SetUp();
        if (ready())
            script(kOrders);
    }
};

INSTANTIATE_TEST_SUITE_P(Backends, CliOrder, ::testing::Values(false, true),
                         [](const auto& test) { return dedupe_test::backendName(test.param); });

struct OrderCase {
    const char* name;
    std::vector<std::string> options;
    const char* order; // the same order in SQL, ties included
};

void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.name;
}

class CliOrderCase : public dedupe_test::PerBackendCase<OrderCase> {
protected:
    void SetUp() override {
        PerBackendCase::SetUp();
        if (ready())
            script(kOrders);
    }
};

TEST_P(CliOrderCase, TheFirstRowInTheOrderSurvives) {
    const OrderCase& c = param();
    std::vector<std::string> args = {"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = cli(args);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(dump("SELECT * FROM \"Kept\" ORDER BY n;"),
              dump(std::string("SELECT n, cust, placed, amount FROM (SELECT *, row_number() OVER (PARTITION BY cust "
                               "ORDER BY ") +
                   c.order + ") AS r FROM \"Orders\") AS q WHERE r = 1 ORDER BY n;"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliOrderCase,
    ::testing::Combine(
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
        ::testing::Bool()),
    dedupe_test::CaseAndBackendName());

// An identifier that repeats a value cannot tell rows apart, in whatever order the scan runs: the rows are
// numbered in stored order instead (a file's rowid; on a server, without a primary key, the physical order
// of the rows), and ties go to the first of them. A field named with a colon is given with its direction.
TEST_P(CliOrder, ARepeatedIdentifierIsJudgedApartFromTheOrder) {
    script("UPDATE \"Orders\" SET n = 10 WHERE n = 30; ALTER TABLE \"Orders\" ADD COLUMN \"at:time\" TEXT;"
           "UPDATE \"Orders\" SET \"at:time\" = placed;");
    const std::string stored = server ? "ctid" : "rowid";
    const Outcome o = cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--order-by", "at:time:desc"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(dump("SELECT * FROM \"Kept\" ORDER BY cust;"),
              dump("SELECT n, cust, placed, amount, \"at:time\" FROM (SELECT *, row_number() OVER (PARTITION BY cust "
                   "ORDER BY \"at:time\" DESC NULLS LAST, " +
                   stored + ") AS r FROM \"Orders\") AS q WHERE r = 1 ORDER BY cust;"));

    for (const char* bad : {"placed:down", "nothing", "placed:"}) {
        const Outcome refused = cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "K2", "--order-by", bad});
        EXPECT_NE(refused.status, 0) << bad;
        EXPECT_TRUE(refused.out.empty()) << bad;
    }
}

// The groups of two or more rows, counted by a run and by a dry run; the dry run shows the largest with
// the survivor's values.
TEST_P(CliOrder, GroupsAreCountedAndTheLargestShown) {
    const std::string groups =
        dump("SELECT count(*) FROM (SELECT cust FROM \"Orders\" GROUP BY cust HAVING count(*) > 1) AS g;");
    const std::string largest = dump("SELECT max(c) FROM (SELECT count(*) AS c FROM \"Orders\" GROUP BY cust) AS g;");
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

// The values a dry run shows for a group are those of the row the run keeps: the lowest identifier (the
// highest with --keep last), whatever order the rows are stored in.
TEST_P(CliOrder, ADryRunShowsTheValuesOfTheRowTheRunKeeps) {
    script("CREATE TABLE \"Mixed\" (n INTEGER, name TEXT);"
           "INSERT INTO \"Mixed\" VALUES (2, 'ANN'), (1, 'ann'), (3, 'Ann'), (5, 'bob'), (4, 'BOB'), (6, 'cy');");
    for (const bool last : {false, true}) {
        std::vector<std::string> args = {
            "-d", path, "-t", "Mixed", "-f", "name", "-o", "K", "--ignore-case", "--groups-into", "G", "--json"};
        if (last)
            args.insert(args.end(), {"--keep", "last"});
        const Outcome run = cli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string kept = dump("SELECT name FROM \"K\" WHERE n < 6 ORDER BY lower(name);");
        EXPECT_EQ(kept, last ? "Ann\nbob\n" : "ann\nBOB\n");
        args.push_back("--dry-run");
        args.push_back("--replace");
        const Outcome dry = cli(args);
        ASSERT_EQ(dry.status, 0) << dry.err;
        const std::string first = kept.substr(0, kept.find('\n')), second = kept.substr(kept.find('\n') + 1);
        EXPECT_NE(dry.out.find("\"largest_groups\": [{\"values\": \"" + first + "\", \"rows\": 3}, {\"values\": \"" +
                               second.substr(0, second.size() - 1) + "\", \"rows\": 2}]"),
                  std::string::npos)
            << dry.out;
        script("DROP TABLE \"K\"; DROP TABLE \"G\";");
    }
}

struct GroupsCase {
    const char* name;
    std::vector<std::string> options;
    const char* survivorOrder; // the order in SQL that picks each group's survivor
};

void PrintTo(const GroupsCase& c, std::ostream* os) {
    *os << c.name;
}

class CliGroupsCase : public dedupe_test::PerBackendCase<GroupsCase> {
protected:
    void SetUp() override {
        PerBackendCase::SetUp();
        if (ready())
            script(kOrders);
    }
};

// The table of groups holds every row of a group of two or more with all its fields, its group's number
// (by the group's lowest identifier), size and whether it survives, stored in the order of the groups;
// the removed rows written beside it are exactly the others of each group.
TEST_P(CliGroupsCase, EveryRowOfAGroupWithItsNumberSizeAndSurvivor) {
    const GroupsCase& c = param();
    std::vector<std::string> args = {
        "-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--groups-into", "Groups", "--removed-into", "Gone"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = cli(args);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string grouped =
        std::string("SELECT *, min(n) OVER g AS low, count(*) OVER g AS size, first_value(n) OVER (PARTITION BY "
                    "cust ORDER BY ") +
        c.survivorOrder + ") AS kept FROM \"Orders\" WINDOW g AS (PARTITION BY cust)";
    EXPECT_EQ(dump("SELECT * FROM \"Groups\";"),
              dump("SELECT n, cust, placed, amount, dense_rank() OVER (ORDER BY low), size, CASE WHEN n = kept THEN 1 "
                   "ELSE 0 END FROM (" +
                   grouped + ") AS q WHERE size > 1 ORDER BY low, n;"));
    EXPECT_EQ(dump("SELECT * FROM \"Gone\" ORDER BY n;"),
              dump("SELECT n, cust, placed, amount FROM (" + grouped + ") AS q WHERE n <> kept ORDER BY n;"));
    EXPECT_EQ(dump("SELECT count(*) FROM \"Kept\";"), dump("SELECT count(DISTINCT cust) FROM \"Orders\";"));
    if (server) {
        EXPECT_EQ(dump("SELECT count(*) FROM pg_class WHERE relpersistence = 't';"), "0\n")
            << "nothing of the run's own stays on the server";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CliGroupsCase,
                         ::testing::Combine(::testing::Values(GroupsCase{"ByIdentifier", {}, "n"},
                                                              GroupsCase{
                                                                  "KeepLastByAnOrder",
                                                                  {"--order-by", "amount:desc", "--keep", "last"},
                                                                  "amount ASC NULLS LAST, n DESC"}),
                                            ::testing::Bool()),
                         dedupe_test::CaseAndBackendName());

// The table of groups is refused before anything changes when its name is taken by another table of the
// run, and when the chosen table has a field of one of its own columns' names. Names are compared as the
// database compares them: a file ignores ASCII letter case, a server does not.
TEST_P(CliOrder, ATableOfGroupsThatCannotBeWrittenIsRefusedBeforeTheRun) {
    const std::string before = everything();
    EXPECT_EQ(
        cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--groups-into", server ? "Kept" : "kept"}).status,
        1);
    EXPECT_EQ(cli({"-d", path, "-t", "Orders", "-f", "cust", "-o", "Kept", "--groups-into", "Orders"}).status, 1);
    EXPECT_EQ(everything(), before);
    const std::string clashing = server ? "survivor" : "Survivor";
    script("CREATE TABLE \"Marked\" (id INTEGER PRIMARY KEY, name TEXT, \"" + clashing + "\" INTEGER);");
    const std::string marked = everything();
    const Outcome clash = cli({"-d", path, "-t", "Marked", "-f", "name", "-o", "K", "--groups-into", "G"});
    EXPECT_EQ(clash.status, 1);
    EXPECT_NE(clash.err.find("'" + clashing + "'"), std::string::npos) << clash.err;
    EXPECT_EQ(everything(), marked);
    if (server) {
        // "Survivor" is another column there, and the table of groups has both.
        script("CREATE TABLE \"Cased\" (id INTEGER PRIMARY KEY, name TEXT, \"Survivor\" INTEGER);"
               "INSERT INTO \"Cased\" VALUES (1, 'a', 7), (2, 'a', 8);");
        const Outcome cased = cli({"-d", path, "-t", "Cased", "-f", "name", "-o", "K", "--groups-into", "G"});
        ASSERT_EQ(cased.status, 0) << cased.err;
        EXPECT_EQ(dump("SELECT * FROM \"G\";"), "1|a|7|1|2|1\n2|a|8|1|2|0\n");
    }
}

} // namespace
