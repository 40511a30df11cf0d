// What only a server has: schemas and quoted names, the order rows are numbered in when the table brings
// no identifier, keys of the server's own types, locks held by other sessions and a client that dies.
#include "cli_fixture.h"
#include "db/catalogue.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/pg/session.h"
#include "dedupe/engine.h"
#include "tests/server/server_support.h"
#include <algorithm>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using dedupe_test::RecordingHost;
using dedupe_test::Rows;

class ServerEngineTest : public ::testing::Test {
protected:
    dedupe_test::TempDir dir;
    std::optional<servertest::ServerDatabase> server;
    std::string uri;
    RecordingHost host;

    void SetUp() override {
        ROWSIFTER_REQUIRE_SERVER();
        server.emplace();
        uri = server->uri();
    }

    std::vector<std::string> listed(const std::string& role = {}) {
        const std::string source = role.empty() ? uri : server->uri(role);
        return *db::GetAccessTableNames(source, db::BuildConnectionString(source, ""));
    }

    dedupe::RunResult run(const std::string& table, const std::vector<std::string>& chosen,
                          const std::string& output = "Result", bool keepLast = false) {
        host = RecordingHost{};
        host.output = output;
        host.listed = listed();
        auto inputs = dedupe_test::inputsFor(uri, table, chosen);
        inputs.options.keepLast = keepLast;
        return dedupe::CreateTableWithoutDuplicates(inputs, host);
    }

    // Tables the run could have left: temporary ones of any session, and the work table under its name.
    long long leftovers() {
        return std::stoll(server
                              ->rows("SELECT count(*) FROM pg_class WHERE relpersistence = 't' OR relname LIKE "
                                     "'TEMP\\_%CREATED\\_BY%'")
                              .at(0));
    }
};

// The catalogue lists what the user can read: plain names for tables on the search path, schema.name for
// the others; views as views; never partitions, system or temporary tables.
TEST_F(ServerEngineTest, CatalogueListsReadableTablesByTheNamesTheRunUses) {
    const std::string user = servertest::cluster().user;
    server->sql(
        "CREATE SCHEMA sales; CREATE SCHEMA \"Other\";"
        "CREATE TABLE plain(id int); CREATE TABLE \"Mixed Case \"\"Q\"\"\"(id int); CREATE TABLE \"a.b\"(id int);"
        "CREATE TABLE sales.orders(id int); CREATE TABLE \"Other\".\"x.y\"(id int);"
        "CREATE TABLE parted(id int, k text) PARTITION BY LIST (k);"
        "CREATE TABLE parted_a PARTITION OF parted FOR VALUES IN ('a');"
        "CREATE VIEW v AS SELECT * FROM plain; CREATE TABLE secret(id int);"
        "GRANT USAGE ON SCHEMA sales, \"Other\" TO PUBLIC;"
        "GRANT SELECT ON ALL TABLES IN SCHEMA public, sales, \"Other\" TO PUBLIC;"
        "REVOKE SELECT ON secret FROM PUBLIC;"
        "CREATE TEMPORARY TABLE mine(id int)");
    auto names = listed(user);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"Mixed Case \"Q\"", "Other.x.y", "a.b", "parted", "plain", "sales.orders"}));
}

// Every listed name reaches its table, and a plain output name lands in the current schema.
TEST_F(ServerEngineTest, SchemasAndQuotedNamesReachTheirTables) {
    server->sql(
        "CREATE SCHEMA sales; CREATE SCHEMA \"Other\";"
        "CREATE TABLE sales.orders(id int, k text); CREATE TABLE \"Mixed Case \"\"Q\"\"\"(id int, k text);"
        "CREATE TABLE \"a.b\"(id int, k text); CREATE TABLE \"Other\".\"x.y\"(id int, k text);"
        "INSERT INTO sales.orders VALUES (1,'x'),(2,'x'),(3,'y');"
        "INSERT INTO \"Mixed Case \"\"Q\"\"\" SELECT * FROM sales.orders;"
        "INSERT INTO \"a.b\" SELECT * FROM sales.orders; INSERT INTO \"Other\".\"x.y\" SELECT * FROM sales.orders");
    const struct {
        const char* table;
        const char* output;
        const char* serverName; // where the output must be
    } cases[] = {
        {"sales.orders", "Orders Kept", "public.\"Orders Kept\""},
        {"Mixed Case \"Q\"", "Out \"1\"", "public.\"Out \"\"1\"\"\""},
        {"a.b", "sales.b2", "sales.b2"},
        {"Other.x.y", "Other.x.z", "\"Other\".\"x.z\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        const auto result = run(c.table, {"k"}, c.output);
        EXPECT_TRUE(result.complete()) << result.failure;
        EXPECT_EQ(server->rows(std::string("SELECT id, k FROM ") + c.serverName + " ORDER BY id"),
                  (std::vector<std::string>{"1|x", "3|y"}));
    }
    EXPECT_EQ(leftovers(), 0);
}

// Without a usable integer identifier the rows are numbered by the primary key (in its column order), else
// in the order the snapshot reads them; --keep last reverses either.
TEST_F(ServerEngineTest, RowsAreNumberedByThePrimaryKeyOrElseThePhysicalOrder) {
    server->sql("CREATE TABLE keyed(code text, part bigint, v text, PRIMARY KEY (code, part));"
                "INSERT INTO keyed VALUES ('b',1,'x'),('a',2,'x'),('a',1,'x'),('c',1,'y');"
                "CREATE TABLE heap(v text, n numeric);"
                "INSERT INTO heap VALUES ('x',1),('x',2),('y',3); UPDATE heap SET n = 10 WHERE n = 1;"
                // Partitions are read in the order they were made (by tableoid), each in its physical order.
                "CREATE TABLE parted(v text, n numeric) PARTITION BY RANGE (n);"
                "CREATE TABLE parted_high PARTITION OF parted FOR VALUES FROM (100) TO (MAXVALUE);"
                "CREATE TABLE parted_low PARTITION OF parted FOR VALUES FROM (MINVALUE) TO (100);"
                "INSERT INTO parted VALUES ('x',1),('x',200),('y',2)");
    const struct {
        const char* table;
        bool keepLast;
        std::vector<std::string> kept;
    } cases[] = {
        {"keyed", false, {"a|1|x", "c|1|y"}}, {"keyed", true, {"b|1|x", "c|1|y"}},
        {"heap", false, {"x|2", "y|3"}}, // the updated row moved behind the others
        {"heap", true, {"x|10", "y|3"}},      {"parted", false, {"x|200", "y|2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.table) + (c.keepLast ? " last" : " first"));
        server->sql("DROP TABLE IF EXISTS \"Result\"");
        const auto result = run(c.table, {"v"}, "Result", c.keepLast);
        ASSERT_TRUE(result.complete()) << result.failure;
        EXPECT_EQ(server->rows("SELECT * FROM \"Result\" ORDER BY 1, 2"), c.kept);
        EXPECT_EQ(server->rows("SELECT count(*) FROM information_schema.columns WHERE table_name = 'Result'"),
                  std::vector<std::string>{std::string(c.table) == "keyed" ? "3" : "2"})
            << "the numbering column is not copied";
    }
}

// The deleted rows are left out of the output wherever they lie: rows numbered by their places over many
// blocks (a narrow table fills its blocks with a few hundred rows), identifiers close together, negative,
// or scattered far apart. The output holds what DISTINCT ON keeps in the same order.
TEST_F(ServerEngineTest, DeletedRowsAreLeftOutWhereverTheyLie) {
    // The identifier is the last integer column; in "narrow" that is k itself, which repeats.
    server->sql("CREATE TABLE narrow(k int); INSERT INTO narrow SELECT g % 37 FROM generate_series(1, 3000) g;"
                "DELETE FROM narrow WHERE ctid IN (SELECT ctid FROM narrow LIMIT 100);"
                "CREATE TABLE near(k text, id int); INSERT INTO near SELECT g % 37, g FROM generate_series(1, 3000) g;"
                "CREATE TABLE negative(k text, id int);"
                "INSERT INTO negative SELECT g % 37, -g FROM generate_series(1, 3000) g;"
                "CREATE TABLE scattered(k text, id int);"
                "INSERT INTO scattered SELECT g % 37, g * 700001 - 1000000000 FROM generate_series(1, 3000) g");
    const struct {
        const char* table;
        const char* order; // what DISTINCT ON keeps the first of
    } cases[] = {{"narrow", "ctid"}, {"near", "id"}, {"negative", "id"}, {"scattered", "id"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        server->sql("DROP TABLE IF EXISTS \"Result\"");
        const auto result = run(c.table, {"k"});
        ASSERT_TRUE(result.complete()) << result.failure;
        EXPECT_EQ(result.rowsRemoved, c.table == std::string("narrow") ? 2863 : 2963);
        const std::string kept =
            std::string("(SELECT DISTINCT ON (k) * FROM ") + c.table + " ORDER BY k, " + c.order + ")";
        EXPECT_EQ(server->rows("SELECT count(*) FROM ((TABLE \"Result\" EXCEPT ALL " + kept + ") UNION ALL (" + kept +
                               " EXCEPT ALL TABLE \"Result\")) d"),
                  std::vector<std::string>{"0"});
    }
}

// A scan larger than the rows kept in memory (lowered here to nothing) reads the rest back from a temporary
// file: the same rows are kept, in the identifier's order though the table holds them in another. A
// temporary folder that cannot take them ends the run with one report naming it and the table, and nothing
// changes.
TEST_F(ServerEngineTest, AScanPastItsMemoryGoesThroughATemporaryFile) {
    server->sql("CREATE TABLE big(k text, note text, id int);"
                "INSERT INTO big SELECT 'key ' || (g % 9001), repeat('n', g % 40), (g * 7919) % 30011"
                " FROM generate_series(1, 30000) g;"
                "CREATE TABLE \"Old\"(z text); INSERT INTO \"Old\" VALUES ('old')");
    const std::string missing = dir.file("no such folder");
    const struct {
        const char* folder; // TMPDIR; null: the one the tests run with
        bool complete;
    } cases[] = {{nullptr, true}, {missing.c_str(), false}};
    const char* const tmpdir = std::getenv("TMPDIR");
    const std::string savedTmpdir = tmpdir ? tmpdir : "";
    ::setenv("ROWSIFTER_SNAPSHOT_MEMORY", "0", 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder ? c.folder : "TMPDIR");
        if (c.folder)
            ::setenv("TMPDIR", c.folder, 1);
        const auto result = run("big", {"k"}, "Old");
        if (tmpdir)
            ::setenv("TMPDIR", savedTmpdir.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        EXPECT_EQ(result.complete(), c.complete) << result.failure;
        if (!c.complete) {
            ASSERT_EQ(host.reports.size(), 1u);
            EXPECT_NE(host.reports[0].description.find("'" + missing + "'"), std::string::npos)
                << host.reports[0].description;
            EXPECT_NE(host.reports[0].description.find("'big'"), std::string::npos) << host.reports[0].description;
            EXPECT_EQ(server->rows("SELECT * FROM \"Old\""), std::vector<std::string>{"old"});
            EXPECT_EQ(leftovers(), 0);
            continue;
        }
        EXPECT_EQ(result.rowsRemoved, 30000 - 9001);
        const std::string kept = "(SELECT DISTINCT ON (k) * FROM big ORDER BY k, id)";
        EXPECT_EQ(server->rows("SELECT count(*) FROM ((TABLE \"Old\" EXCEPT ALL " + kept + ") UNION ALL (" + kept +
                               " EXCEPT ALL TABLE \"Old\")) d"),
                  std::vector<std::string>{"0"});
        server->sql("DROP TABLE \"Old\"; CREATE TABLE \"Old\"(z text); INSERT INTO \"Old\" VALUES ('old')");
    }
    ::unsetenv("ROWSIFTER_SNAPSHOT_MEMORY");
}

// Integers and floats by their value, bytea as bytes, everything else by the server's text under the
// session's fixed settings (so numeric 1.5 and 1.50 differ, as a grid shows them).
TEST_F(ServerEngineTest, KeysOfTheServersTypes) {
    server->sql("CREATE TABLE kv(id int, n numeric, f float8, b bytea, t timestamptz, j jsonb);"
                "INSERT INTO kv VALUES (1, 1.5, 100000, '\\x41', '2024-03-01 12:00+00', '{\"a\": 1}'),"
                "(2, 1.50, 1e5, 'A', '2024-03-01 13:00+01', '{\"a\":1}'),"
                "(3, 1.5, 0.1, '\\x4142', '2024-03-01 12:00:00.5+00', '{\"a\": 2}')");
    const struct {
        const char* field;
        std::vector<std::string> kept;
    } cases[] = {{"n", {"1", "2"}}, {"f", {"1", "3"}}, {"b", {"1", "3"}}, {"t", {"1", "3"}}, {"j", {"1", "3"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        server->sql("DROP TABLE IF EXISTS \"Result\"");
        ASSERT_TRUE(run("kv", {c.field}).complete());
        EXPECT_EQ(server->rows("SELECT id FROM \"Result\" ORDER BY id"), c.kept);
    }
}

// Another session holds the table: the run ends within the (lowered) deadline with one report naming the
// lock and the table, and nothing changes.
TEST_F(ServerEngineTest, ALockHeldByAnotherSessionEndsTheRunWithOneReport) {
    server->sql("CREATE TABLE t(id int, a text); INSERT INTO t VALUES (1,'x'),(2,'x');"
                "CREATE TABLE \"Old\"(z text); INSERT INTO \"Old\" VALUES ('old')");
    auto inputs = dedupe_test::inputsFor(uri, "t", {"a"});
    host.output = "Old";
    host.listed = listed();
    auto other = db::pg::Session::connect(uri, "");
    other->run("BEGIN; LOCK TABLE t IN ACCESS EXCLUSIVE MODE");
    ::setenv("ROWSIFTER_SERVER_DEADLINE", "0.5", 1);
    const auto result = dedupe::CreateTableWithoutDuplicates(inputs, host);
    ::unsetenv("ROWSIFTER_SERVER_DEADLINE");
    other->run("ROLLBACK");
    EXPECT_FALSE(result.complete());
    ASSERT_EQ(host.reports.size(), 1u);
    EXPECT_EQ(host.reports[0].statement, 120);
    EXPECT_NE(host.reports[0].description.find("lock on the table 't'"), std::string::npos)
        << host.reports[0].description;
    EXPECT_EQ(server->rows("SELECT * FROM \"Old\""), std::vector<std::string>{"old"});
    EXPECT_EQ(leftovers(), 0);
}

// The client is killed, or interrupted with Ctrl-C, while its run waits to replace the old output: the
// server undoes the run, so the old table, the source and the catalogue are as they were, and nothing of
// the run stays. Ctrl-C cancels the waiting statement and the program says so and fails.
TEST_F(ServerEngineTest, AKilledOrInterruptedClientChangesNothingAndLeavesNothing) {
    server->sql("CREATE TABLE t(id int, a text); INSERT INTO t SELECT g, 'k' || (g % 7) FROM generate_series(1, 500) g;"
                "CREATE TABLE \"Old\"(z text); INSERT INTO \"Old\" VALUES ('old')");
    auto other = db::pg::Session::connect(uri, "");
    for (const int signal : {SIGKILL, SIGINT}) {
        SCOPED_TRACE(signal == SIGKILL ? "killed" : "interrupted");
        other->run("BEGIN; LOCK TABLE \"Old\" IN ACCESS EXCLUSIVE MODE");
        const std::string err = dir.file("err.txt");
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("ROWSIFTER_SERVER_DEADLINE", "300", 1);
            if (!::freopen(err.c_str(), "w", stderr))
                ::_exit(126);
            ::execl(ROWSIFTER_CLI, ROWSIFTER_CLI, "-q", "-d", uri.c_str(), "-t", "t", "-f", "a", "-o", "Old",
                    "--replace", "--removed-into", "Gone", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Wait (no time is asserted) until the run blocks on the old table, past its scan and copies.
        std::vector<std::string> waiting;
        for (int i = 0; i < 1200 && waiting.empty(); ++i) {
            // This test's database only: tests running beside it on the same server wait on locks too.
            waiting = server->rows("SELECT pid FROM pg_stat_activity WHERE datname = current_database() AND "
                                   "wait_event_type = 'Lock'");
            if (waiting.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);
        other->run("ROLLBACK");
        ASSERT_EQ(waiting.size(), 1u) << "the run never reached the locked table";
        if (signal == SIGINT) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
            EXPECT_NE(dedupe_test::slurp(err).find("Cancelled"), std::string::npos) << dedupe_test::slurp(err);
        }
        for (int i = 0; i < 1200; ++i) {
            if (server->rows("SELECT count(*) FROM pg_stat_activity WHERE pid = " + waiting[0]) ==
                std::vector<std::string>{"0"})
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(server->rows("SELECT * FROM \"Old\""), std::vector<std::string>{"old"});
        EXPECT_EQ(server->rows("SELECT count(*) FROM t"), std::vector<std::string>{"500"});
        EXPECT_EQ(server->rows("SELECT count(*) FROM pg_class WHERE relname = 'Gone'"), std::vector<std::string>{"0"});
        EXPECT_EQ(leftovers(), 0);
    }
}

// The plain columns a run adds to a work table, and its updates of them, by an identifier of the table or
// by the numbering added to it: a row updated twice keeps the last value of each column, a column added
// later is Null in rows updated before, a deleted row stays deleted, and the new table is written in the
// order asked for. Nothing but that table is left on the server.
TEST_F(ServerEngineTest, ColumnsAddedToAWorkTableAndTheirUpdates) {
    server->sql("CREATE TABLE byid(id integer, a text); CREATE TABLE bare(a text);"
                "INSERT INTO byid SELECT i, 'a' || i FROM generate_series(1, 6) AS i;"
                "INSERT INTO bare SELECT 'a' || i FROM generate_series(1, 6) AS i;");
    for (const bool numbered : {false, true}) {
        SCOPED_TRACE(numbered ? "numbered" : "by identifier");
        db::Connection c;
        c.Open(db::BuildConnectionString(uri, ""));
        c.declareWorkTable("w");
        c.Execute(std::string("SELECT * INTO [w] FROM ") + (numbered ? "[bare]" : "[byid]"));
        if (numbered)
            c.Execute("ALTER TABLE [w] ADD COLUMN [id] LONG IDENTITY(1,1)");
        c.Execute("DELETE FROM [w] WHERE [id] = 2");
        c.Execute("ALTER TABLE [w] ADD COLUMN [g] LONG");
        for (const char* update : {"[g] = 10 WHERE [id] = 1", "[g] = 11 WHERE [id] = 1", "[g] = 7 WHERE [id] = 2",
                                   "[g] = 9 WHERE [id] = 4", "[g] = 8 WHERE [id] = 3", "[g] = NULL WHERE [id] = 3"})
            c.Execute(std::string("UPDATE [w] SET ") + update);
        c.Execute("ALTER TABLE [w] ADD COLUMN [h] LONG");
        c.Execute("UPDATE [w] SET [g] = 12, [h] = 1 WHERE [id] = 4");
        c.Execute("UPDATE [w] SET [h] = 2 WHERE [id] = 4");
        c.Execute("UPDATE [w] SET [h] = 5 WHERE [id] = 3");
        for (const char* refused : {"ALTER TABLE [w] ADD COLUMN [a] LONG", "UPDATE [w] SET [a] = 1 WHERE [id] = 1",
                                    "UPDATE [w] SET [g] = 1 WHERE [a] = 1"})
            EXPECT_THROW(c.Execute(refused), db::Error) << refused;
        c.Execute("SELECT [id], [a], [g], [h] INTO [o] FROM [w] ORDER BY [id] DESC");
        c.Execute("DROP TABLE [w]");
        c.Close();
        EXPECT_EQ(server->rows("SELECT * FROM o"),
                  (std::vector<std::string>{"6|a6|<null>|<null>", "5|a5|<null>|<null>", "4|a4|12|2", "3|a3|<null>|5",
                                            "1|a1|11|<null>"}));
        EXPECT_EQ(leftovers(), 0);
        server->sql("DROP TABLE o");
    }
}

} // namespace
