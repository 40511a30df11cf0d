// The command line's own options, each result checked against the same result computed independently by a
// SQL statement over the same table: the system's sqlite3 tool on a file, the server itself on a server
// database. The cases run once per back-end.
#include "cli_fixture.h"
#include "tests/server/server_support.h"
#include "tests/support/sqlite_tool.h"
#include "tests/support/test_support.h"
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>

namespace {

using dedupe_test::CliTest;
using dedupe_test::Outcome;
using dedupe_test::slurp;
using testsupport::runSqliteTool;

// Names that differ in letter case (ASCII and beyond), in surrounding blanks, and not at all; a Null and an
// empty text.
const char* const kPeople = R"(
CREATE TABLE "People" (id INTEGER PRIMARY KEY, name TEXT, city TEXT);
INSERT INTO "People" VALUES (1, 'Ann', 'Oslo'), (2, 'ann', 'Rome'), (3, ' Ann ', 'Bonn'), (4, 'Ärger', 'Oslo'),
    (5, 'ärger', 'Rome'), (6, 'Bob', 'Oslo'), (7, 'Bob', 'Rome'), (8, NULL, 'Oslo'), (9, '', 'Rome'),
    (10, 'ANN ', 'Oslo');
)";

class CliOptions : public dedupe_test::PerBackend {
protected:
    void SetUp() override {
        PerBackend::SetUp();
        if (ready())
            script(kPeople);
    }
};

INSTANTIATE_TEST_SUITE_P(Backends, CliOptions, ::testing::Values(false, true),
                         [](const auto& test) { return dedupe_test::backendName(test.param); });

struct OptionCase {
    const char* name;
    std::vector<std::string> options;
    // The group of a row as the option compares it, written in SQL over the column `name`.
    const char* group;
    const char* survivor; // min or max: which identifier of a group stays
};

void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.name;
}

class CliOptionCase : public dedupe_test::PerBackendCase<OptionCase> {
protected:
    void SetUp() override {
        PerBackendCase::SetUp();
        if (ready())
            script(kPeople);
    }
};

// The output holds exactly the surviving row of each group, with all its values as stored; the removed
// rows, when asked for, are exactly the others; and the summary counts agree.
TEST_P(CliOptionCase, KeepsOneRowOfEachGroupAsTheOptionsSay) {
    const OptionCase& c = param();
    std::vector<std::string> args = {"-d", path, "-t", "People", "-f", "name", "-o", "Kept", "--removed-into", "Gone"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = cli(args);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string survivors = std::string("SELECT ") + c.survivor + "(id) FROM \"People\" GROUP BY " + c.group;
    EXPECT_EQ(dump("SELECT * FROM \"Kept\" ORDER BY id;"),
              dump("SELECT * FROM \"People\" WHERE id IN (" + survivors + ") ORDER BY id;"));
    EXPECT_EQ(dump("SELECT * FROM \"Gone\" ORDER BY id;"),
              dump("SELECT * FROM \"People\" WHERE id NOT IN (" + survivors + ") ORDER BY id;"));
    const std::string removed = dump("SELECT count(*) FROM \"Gone\";");
    EXPECT_NE(o.out.find("removed " + removed.substr(0, removed.size() - 1) + " repeated rows"), std::string::npos)
        << o.out;
}

// SQLite's lower() folds ASCII letters only, so the test's own folding names the one other letter the
// data holds.
INSTANTIATE_TEST_SUITE_P(
    Cases, CliOptionCase,
    ::testing::Combine(
        ::testing::Values(OptionCase{"Default", {}, "coalesce(name, '')", "min"},
                          OptionCase{"KeepLast", {"--keep", "last"}, "coalesce(name, '')", "max"},
                          OptionCase{
                              "IgnoreCase", {"--ignore-case"}, "replace(lower(coalesce(name, '')), 'Ä', 'ä')", "min"},
                          OptionCase{"Trim", {"--trim"}, "trim(coalesce(name, ''))", "min"},
                          OptionCase{"KeepLastIgnoringCaseAndBlanks",
                                     {"--keep=last", "--ignore-case", "--trim"},
                                     "replace(lower(trim(coalesce(name, ''))), 'Ä', 'ä')",
                                     "max"}),
        ::testing::Bool()),
    dedupe_test::CaseAndBackendName());

// A dry run counts what a run would do and leaves the file byte for byte as it was, with or without a
// table of removed rows asked for; it also works on a file it could not write.
TEST_P(CliOptions, ADryRunCountsAndChangesNothing) {
    const std::string before = everything();
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, {"--removed-into", "Gone", "--ignore-case"}, {"--json"}}) {
        std::vector<std::string> args = {"-d", path, "-t", "People", "-f", "name", "-o", "Kept", "--dry-run"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome o = cli(args);
        EXPECT_EQ(o.status, 0) << o.err;
        const bool folded = extra.size() > 1;
        const std::string groups = dump(folded ? "SELECT count(DISTINCT replace(lower(coalesce(name, '')), 'Ä', 'ä')) "
                                                 "FROM \"People\";"
                                               : "SELECT count(DISTINCT coalesce(name, '')) FROM \"People\";");
        const long long kept = std::stoll(groups);
        if (extra.size() == 1) {
            EXPECT_NE(o.out.find("\"rows_read\": 10, \"rows_removed\": " + std::to_string(10 - kept)),
                      std::string::npos)
                << o.out;
        } else {
            EXPECT_NE(o.out.find("Would read 10 rows, remove " + std::to_string(10 - kept) +
                                 " repeated rows, and "
                                 "write " +
                                 std::to_string(kept) + " rows"),
                      std::string::npos)
                << o.out;
        }
        EXPECT_EQ(everything(), before);
    }
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

// An existing table of the output's (or the removed rows') name is replaced only with --replace; without
// it nothing changes and the message names the table. A dry run answers as the run would.
TEST_P(CliOptions, AnExistingTableIsReplacedOnlyWhenAsked) {
    script("CREATE TABLE \"Kept\"(z TEXT); INSERT INTO \"Kept\" VALUES ('old'); CREATE TABLE \"Gone\"(z TEXT);");
    for (const char* taken : {"Kept", "Gone"}) {
        const std::string before = everything();
        const Outcome o =
            cli({"-d", path, "-t", "People", "-f", "name", "-o", taken == std::string("Kept") ? "Kept" : "New",
                 "--removed-into", taken == std::string("Gone") ? "Gone" : "Other"});
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find(std::string("'") + taken + "'"), std::string::npos) << o.err;
        EXPECT_NE(o.err.find("--replace"), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty());
        EXPECT_EQ(everything(), before);
    }
    const Outcome dry = cli({"-d", path, "-t", "People", "-f", "name", "-o", "Kept", "--dry-run"});
    EXPECT_EQ(dry.status, 1) << "a dry run answers as the run would";
    EXPECT_NE(dry.err.find("--replace"), std::string::npos) << dry.err;
    const Outcome dryReplacing =
        cli({"-d", path, "-t", "People", "-f", "name", "-o", "Kept", "--dry-run", "--replace"});
    EXPECT_EQ(dryReplacing.status, 0) << dryReplacing.err;
    EXPECT_NE(dryReplacing.err.find("would replace it"), std::string::npos) << dryReplacing.err;

    const Outcome o =
        cli({"-d", path, "-t", "People", "-f", "name", "-o", "Kept", "--removed-into", "Gone", "--replace"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(dump("SELECT count(*) FROM \"Kept\";"),
              dump("SELECT count(DISTINCT coalesce(name, '')) FROM \"People\";"));
    EXPECT_EQ(dump("SELECT * FROM \"Gone\" ORDER BY id;"),
              dump("SELECT * FROM \"People\" WHERE id NOT IN (SELECT min(id) FROM \"People\" GROUP BY "
                   "coalesce(name, '')) ORDER BY id;"));
}

// With --json standard output holds exactly one JSON object, whatever happens.
TEST_P(CliOptions, JsonIsOneObjectOnSuccessAndFailure) {
    const Outcome ok = cli({"-d", path, "-t", "People", "-f", "name", "-f", "city", "-o", "Kept", "--json"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    const Outcome failed = cli({"-d", path, "-t", "Nobody", "-f", "name", "-o", "Kept2", "--json"});
    EXPECT_EQ(failed.status, 1);
    const Outcome unusable = cli({"-d", path, "--keep", "middle", "--json"});
    EXPECT_EQ(unusable.status, 2);
    for (const Outcome* o : {&ok, &failed, &unusable}) {
        ASSERT_FALSE(o->out.empty());
        EXPECT_EQ(o->out.front(), '{') << o->out;
        EXPECT_EQ(o->out.find('\n'), o->out.size() - 1) << "one line: " << o->out;
        EXPECT_EQ(o->out.substr(o->out.size() - 2), "}\n");
    }
    EXPECT_NE(ok.out.find("\"ok\": true"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("\"fields\": [\"name\", \"city\"]"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("\"rows_read\": 10, \"rows_removed\": 0, \"rows_written\": 10"), std::string::npos) << ok.out;
    EXPECT_NE(failed.out.find("\"ok\": false"), std::string::npos);
    EXPECT_NE(failed.out.find("\"error\": \"table 'Nobody' not found"), std::string::npos) << failed.out;
    EXPECT_NE(failed.out.find("\"kept\": \"Nothing was changed.\""), std::string::npos) << failed.out;
    EXPECT_NE(unusable.out.find("--keep takes first or last"), std::string::npos) << unusable.out;
}

// A real Access file is only read: --sqlite-copy makes the copy (never over an existing file), and with a
// table, fields and an output the duplicates are removed in the copy. Without it the message names it.
TEST_F(CliTest, AnAccessFileIsCopiedIntoSqliteAndDeDuplicatedThere) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    const std::string access = dir.file("nwind.mdb");
    std::filesystem::copy_file(data / "nwind.mdb", access);
    const std::string before = slurp(access);

    const Outcome refused = cli({"-d", access, "-t", "Orders", "-f", "CustomerID", "-o", "O2"});
    EXPECT_EQ(refused.status, 1);
    for (const char* named : {"nwind.mdb", "Access", "--sqlite-copy"})
        EXPECT_NE(refused.err.find(named), std::string::npos) << named << " in: " << refused.err;

    const std::string copy = dir.file("nwind.sqlite");
    const Outcome copied = cli({"-d", access, "--sqlite-copy", copy, "-q"});
    ASSERT_EQ(copied.status, 0) << copied.err;
    EXPECT_TRUE(std::filesystem::exists(copy));
    const Outcome again = cli({"-d", access, "--sqlite-copy", copy});
    EXPECT_EQ(again.status, 1) << "an existing file is never replaced";

    const std::string second = dir.file("second.sqlite");
    const Outcome run = cli({"-d", access, "--sqlite-copy", second, "-t", "Orders", "-f", "CustomerID", "-o", "O2"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(runSqliteTool(second, "SELECT count(*) FROM O2;"),
              runSqliteTool(second, "SELECT count(DISTINCT CustomerID) FROM Orders;"));
    EXPECT_EQ(slurp(access), before);
}

} // namespace
