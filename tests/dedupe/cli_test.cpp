// rowsifter-cli as a user runs it: the built program, real files or a server database, exit status and what
// it prints. The cases that mean the same on a server run once per back-end.
#include "cli_fixture.h"
#include "core/version.h"
#include "fixture.h"
#include "tests/support/test_support.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

using dedupe_test::CliTest;
using dedupe_test::Outcome;
using dedupe_test::slurp;
using testsupport::shellQuoted;

class CliBackends : public dedupe_test::PerBackend {};

INSTANTIATE_TEST_SUITE_P(Backends, CliBackends, ::testing::Values(false, true),
                         [](const auto& test) { return dedupe_test::backendName(test.param); });

TEST_F(CliTest, HelpDescribesTheOptions) {
    const Outcome o = cli({"--help"});
    EXPECT_EQ(o.status, 0);
    for (const char* text : {"--database", "--table", "--field", "--output", "ROWSIFTER_PASSWORD", "Exit status"})
        EXPECT_NE(o.out.find(text), std::string::npos) << text;
}

TEST_F(CliTest, CommandLinesThatCannotBeUsed) {
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const std::vector<Case> cases = {
        {{}, "--database"},
        {{"--database", "x.db", "--table", "T", "--field", "a"}, "--output"},
        {{"--database", "x.db", "--table", "T", "--output", "o"}, "--field"},
        {{"--database", "x.db", "--field", "a", "--output", "o"}, "--table"},
        {{"--database", "x.db", "--table", "T", "--field", "a", "--output", "o", "--password", "p"}, "never"},
        {{"--database", "x.db", "--table", "T", "--field", "a", "--output", "o", "extra"}, "extra"},
        {{"--database"}, "--database"},
        {{"-d"}, "-d"},
        {{"-d", "x.db", "-t", "T", "-f", "a", "-o", "o", "-x"}, "'-x'"},
        {{"-d", "x.db", "-t", "T", "-f", "a", "-o", "o", "--quiet=yes"}, "--quiet takes no value"},
        {{"-d", "x.db", "-t", "T", "-f", "a", "-o", "o", "-qv"}, "'-qv'"},
        {{"-d", "x.db", "-t", "T", "-f", "a", "-o", "o", "-psecret"}, "never"},
    };
    for (const Case& c : cases) {
        const Outcome o = cli(c.args);
        EXPECT_EQ(o.status, 2) << o.err;
        EXPECT_NE(o.err.find(c.mentions), std::string::npos) << o.err;
        EXPECT_TRUE(o.out.empty());
    }
}

TEST_P(CliBackends, RemovesRepeatedRowsAndSummarises) {
    makeShop();
    const std::string before = dump("SELECT * FROM \"Customers\" ORDER BY \"ID\";");
    const Outcome o = cli(
        {"--database", path, "--table", "Customers", "--field", "First", "--field", "Last", "--output", "Customers2"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "Read 5 rows, removed 2 repeated rows, wrote 3 rows to table 'Customers2'.\n");
    EXPECT_NE(o.err.find("5 of 5 rows"), std::string::npos) << "progress on standard error: " << o.err;
    EXPECT_EQ(dump("SELECT * FROM \"Customers2\" ORDER BY \"ID\";"),
              "1|Ann|Lee|Oslo\n2|Bob|Ray|Rome\n4|ann|Lee|Oslo\n");
    EXPECT_EQ(dump("SELECT * FROM \"Customers\" ORDER BY \"ID\";"), before);
}

// The ways of writing the same command line, getopt style, and --quiet, which only silences the progress.
TEST_P(CliBackends, ShortLongAndJoinedOptionsMeanTheSame) {
    makeShop();
    const std::vector<std::vector<std::string>> forms = {
        {"-d", path, "-t", "Customers", "-f", "First", "-f", "Last", "-o", "Customers2"},
        {"-d" + path, "-tCustomers", "-fFirst", "-fLast", "-oCustomers2"},
        {"--database=" + path, "--table=Customers", "--field=First", "--field", "Last", "--output=Customers2"},
        {"-q", "--database", path, "-t", "Customers", "--field=First", "-f", "Last", "--output", "Customers2"},
        {"--quiet", "-d", path, "-t", "Customers", "-f", "First", "-f", "Last", "-o", "Customers2"},
    };
    for (const auto& args : forms) {
        const Outcome o = cli(args);
        SCOPED_TRACE(args[0] + " " + args[1]);
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.out, "Read 5 rows, removed 2 repeated rows, wrote 3 rows to table 'Customers2'.\n");
        const bool quiet = args[0] == "-q" || args[0] == "--quiet";
        EXPECT_EQ(o.err.empty(), quiet) << o.err;
        EXPECT_EQ(dump("SELECT \"ID\" FROM \"Customers2\" ORDER BY \"ID\";"), "1\n2\n4\n");
        script("DROP TABLE \"Customers2\";");
    }
}

TEST_F(CliTest, VersionAndHelpNeedNothingElse) {
    const Outcome version = cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("rowsifter-cli ") + core::kVersion + "\n");
    const Outcome help = cli({"-h"});
    EXPECT_EQ(help.status, 0);
    for (const char* text : {"-d, --database", "-q, --quiet", "--version"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

TEST_P(CliBackends, NamesWhatIsMissing) {
    makeShop();
    const std::string before = everything();
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> mentions;
    };
    // A database that is not there: a file, or a database the server does not have.
    std::string nowhere = dir.file("nowhere.db");
    if (server) {
        const auto& c = servertest::cluster();
        nowhere = "postgresql://" + c.user + "@/rowsifter_nowhere?host=" + c.host + "&port=" + c.port;
    }
    const std::vector<Case> cases = {
        {{"--database", nowhere, "--table", "Customers", "--field", "First", "--output", "o"},
         {server ? "rowsifter_nowhere" : "nowhere.db"}},
        {{"--database", path, "--table", "Clients", "--field", "First", "--output", "o"}, {"'Clients'", "Customers"}},
        {{"--database", path, "--table", "Customers", "--field", "Frist", "--output", "o"},
         {"'Frist'", "'Customers'", "First"}},
        {{"--database", path, "--table", "Customers", "--field", "First", "--field", "First", "--output", "o"},
         {"'First'", "more than once"}},
        {{"--database", path, "--table", "Customers", "--field", "First", "--output", "Customers"}, {"\"Customers\""}},
    };
    for (const Case& c : cases) {
        const Outcome o = cli(c.args);
        EXPECT_EQ(o.status, 1);
        for (const auto& m : c.mentions)
            EXPECT_NE(o.err.find(m), std::string::npos) << m << " in: " << o.err;
        EXPECT_TRUE(o.out.empty()) << o.out;
    }
    EXPECT_EQ(everything(), before);
}

TEST_F(CliTest, EncryptedDatabaseNeedsItsPassword) {
    makeShop("s3cret");
    const std::vector<std::string> args = {"--database", path,   "--table",  "Customers",
                                           "--field",    "City", "--output", "Cities"};
    const Outcome right = cli(args, "s3cret");
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(dedupe_test::query(path, "SELECT * FROM [Cities]", "s3cret").size(), 3u);

    for (const char* wrong : {static_cast<const char*>("nope"), static_cast<const char*>(nullptr)}) {
        const Outcome o = cli(args, wrong);
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find("shop.db"), std::string::npos) << o.err;
        EXPECT_NE(o.err.find("password"), std::string::npos) << o.err;
    }
}

// A failure inside the run prints the report the window would show, and the status says it failed.
TEST_P(CliBackends, FailedRunPrintsTheReportAndFails) {
    script("CREATE TABLE \"T\"(a TEXT); INSERT INTO \"T\" VALUES ('x'),('x');"
           "CREATE VIEW \"V\" AS SELECT a FROM \"T\";");
    // The view's name is taken, but only ordinary tables are listed, so it is not dropped and the copy fails.
    const Outcome o = cli({"--database", path, "--table", "T", "--field", "a", "--output", "V"});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("in Quarnelby2021/08/31.Form4.PushButton4_Click at line 198\n\nPlease email screenshot"),
              std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("'V' was not written"), std::string::npos) << o.err;
    EXPECT_TRUE(o.out.empty());
}

// Files that are no database, or an empty one, get the answers the wizard gives: the database layer's own
// message for the file (which the wizard's report shows), and an empty file has no tables.
TEST_F(CliTest, SaysWhatAFileReallyIsAsTheWizardDoes) {
    auto write = [&](const std::string& name, std::string bytes) {
        const std::string file = dir.file(name);
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    };
    std::string tar(4096, '\0');
    tar.replace(0, 9, "notes.txt");
    tar.replace(257, 5, "ustar");
    std::string compound(4096, '\0');
    compound.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    std::string text;
    while (text.size() < 4096)
        text += "A line of plain text, as a note or a log would hold.\n";
    text.resize(4096);
    for (const std::string& file : {write("archive.db", tar), write("Thumbs.db", compound), write("notes.mdb", text)}) {
        const std::string layer = testsupport::errorOf([&] { testsupport::openConnection(file); }).description();
        ASSERT_NE(layer.find("not a database"), std::string::npos) << layer;
        const Outcome o = cli({"-d", file, "-t", "T", "-f", "a", "-o", "o"});
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find(layer), std::string::npos) << o.err;
    }
    const Outcome empty = cli({"-d", write("empty.db", ""), "-t", "T", "-f", "a", "-o", "o"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("It has no tables"), std::string::npos) << empty.err;
    EXPECT_EQ(std::filesystem::file_size(dir.file("empty.db")), 0u) << "looking writes nothing";
}

// The work table goes into the temporary folder, or beside the database file when that has too little
// room; only when neither has room is the run refused before anything changes, with both figures. The
// folders here are small file systems of the test's own (a mount namespace needs root's privileges;
// without them the test cannot be made).
TEST_F(CliTest, TheWorkTableGoesBesideTheFileWhenTheTemporaryFolderIsTooSmall) {
    dedupe_test::runScript(path, "CREATE TABLE T(id INTEGER PRIMARY KEY, a TEXT);"
                                 "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 5000) "
                                 "INSERT INTO T SELECT x, printf('value %040d', x % 100) FROM n;");
    const std::string small = dir.file("small"), beside = dir.file("beside");
    std::filesystem::create_directory(small);
    std::filesystem::create_directory(beside);
    if (std::system(
            ("unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs " + shellQuoted(small) + "' 2>/dev/null").c_str()) !=
        0)
        GTEST_SKIP() << "no mount namespace can be made here (it needs root's privileges)";
    struct Case {
        const char* name;
        const char* fileFolderSize; // nullptr: the file stays where it is, on a roomy disk
        int status;
    };
    for (const Case& c : {Case{"both too small", "400k", 1}, Case{"roomy file folder", nullptr, 0}}) {
        SCOPED_TRACE(c.name);
        const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
        const std::string file = c.fileFolderSize ? beside + "/shop.db" : path;
        std::string script = "mount -t tmpfs -o size=64k tmpfs " + shellQuoted(small);
        if (c.fileFolderSize)
            script += " && mount -t tmpfs -o size=" + std::string(c.fileFolderSize) + " tmpfs " + shellQuoted(beside) +
                      " && cp " + shellQuoted(path) + " " + shellQuoted(file);
        script += " && { SQLITE_TMPDIR=" + shellQuoted(small) + " " + shellQuoted(ROWSIFTER_CLI) + " -q -d " +
                  shellQuoted(file) + " -t T -f a -o O; echo \"status $?\"; cmp -s " + shellQuoted(file) + " " +
                  shellQuoted(path) + " && echo unchanged; }";
        const int raw = std::system(
            ("unshare -m sh -c " + shellQuoted(script) + " </dev/null >" + shellQuoted(out) + " 2>" + shellQuoted(err))
                .c_str());
        ASSERT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0);
        const std::string said = slurp(err), printed = slurp(out);
        EXPECT_NE(printed.find("status " + std::to_string(c.status)), std::string::npos) << printed << said;
        if (c.status == 0) {
            EXPECT_EQ(dedupe_test::query(path, "SELECT * FROM [O]").size(), 100u);
        } else {
            for (const std::string& folder : {small, beside})
                EXPECT_NE(said.find("'" + folder + "' "), std::string::npos) << said;
            EXPECT_NE(said.find("at line 120"), std::string::npos) << said;
            EXPECT_NE(printed.find("unchanged"), std::string::npos) << printed;
        }
    }
}

// A dry run makes every check the run makes before it changes anything and answers as the run would:
// the same status and the same message, with the database as it was. Names are compared as the database
// compares them: a file takes a name in other letter case for the same table, a server does not.
TEST_P(CliBackends, ADryRunRefusesWhatTheRunRefuses) {
    makeShop();
    script("CREATE TABLE \"Other\"(z TEXT);");
    const auto same = [&](const char* exact, const char* otherCase) { return server ? exact : otherCase; };
    const std::vector<std::string> base = {"-d", path, "-t", "Customers", "-f", "First"};
    const std::vector<std::vector<std::string>> cases = {
        {"-o", same("Customers", "CUSTOMERS")},
        {"-o", "O", "--removed-into", same("O", "o")},
        {"-o", same("TEMP_TABLE_CREATED_BY_QUORVANDELL", "temp_table_created_by_quorvandell")},
        {"-o", "rowsifter_internal_kept"},
        {"-o", same("Other", "OTHER")},
        {"-o", "O", "--removed-into", same("Other", "other")},
    };
    const std::string before = everything();
    for (const auto& names : cases) {
        std::vector<std::string> args = base;
        args.insert(args.end(), names.begin(), names.end());
        SCOPED_TRACE(args[7] + (names.size() > 2 ? " " + names[3] : ""));
        const Outcome real = cli(args);
        args.push_back("--dry-run");
        const Outcome dry = cli(args);
        EXPECT_EQ(real.status, 1);
        EXPECT_EQ(dry.status, 1);
        EXPECT_FALSE(real.err.empty());
        EXPECT_EQ(dry.err, real.err);
        EXPECT_TRUE(dry.out.empty()) << dry.out;
        EXPECT_EQ(everything(), before);
    }
}

// Letter case: --table finds its table as the database would, and a table named like the output in other
// letter case is the output's in a file (replaced with --replace instead of failing after the scan). A
// server tells such names apart, as it quotes them: "customers" is not found there, and "OTHER" is a new
// table beside "Other".
TEST_P(CliBackends, TableNamesAreComparedAsTheDatabaseComparesThem) {
    makeShop();
    script("CREATE TABLE \"Other\"(z TEXT); INSERT INTO \"Other\" VALUES ('old');");
    const Outcome lower = cli({"-d", path, "-t", "customers", "-f", "First", "-o", "OTHER", "--replace"});
    if (server) {
        EXPECT_EQ(lower.status, 1);
        EXPECT_NE(lower.err.find("'customers' not found"), std::string::npos) << lower.err;
        const Outcome beside = cli({"-d", path, "-t", "Customers", "-f", "First", "-o", "OTHER"});
        ASSERT_EQ(beside.status, 0) << beside.err;
        EXPECT_EQ(dump("SELECT * FROM \"Other\";"), "old\n");
        EXPECT_EQ(tables(), "Customers\nOTHER\nOther\n");
    } else {
        ASSERT_EQ(lower.status, 0) << lower.err;
        EXPECT_EQ(dedupe_test::query(path, "SELECT * FROM [Other]").size(), 3u);
        EXPECT_EQ(tables(), "Customers\nOTHER\n");
    }
    EXPECT_EQ(dump("SELECT count(*) FROM \"OTHER\";"), "3\n");
}

// A refusal is said once; with --json it is said in the JSON object only, and standard error stays empty,
// whether the engine refuses, the command line does or a table is missing. A virtual table named on the
// command line is said to be one.
TEST_P(CliBackends, RefusalsAreSaidOnceAndJsonKeepsStandardErrorClean) {
    makeShop();
    if (!server)
        script("CREATE VIRTUAL TABLE notes USING fts5(body); INSERT INTO notes VALUES ('x');");
    struct Case {
        std::vector<std::string> args;
        std::string says;
        bool fileOnly = false;
    };
    const std::vector<Case> cases = {
        {{"-t", "Customers", "-f", "First", "-o", server ? "Customers" : "customers"}, "\"Customers\""},
        {{"-t", "Customers", "-f", "First", "-o", "rowsifter_internal_o"}, "rowsifter_internal_o"},
        {{"-t", "Nobody", "-f", "First", "-o", "o"}, "'Nobody'"},
        {{"-t", "Notes", "-f", "body", "-o", "o"}, "virtual table (module fts5)", true},
    };
    for (const Case& c : cases) {
        if (c.fileOnly && server)
            continue;
        std::vector<std::string> args = {"-d", path};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.says);
        const Outcome plain = cli(args);
        EXPECT_EQ(plain.status, 1);
        const auto first = plain.err.find(c.says);
        ASSERT_NE(first, std::string::npos) << plain.err;
        EXPECT_EQ(plain.err.find("rowsifter-cli:", plain.err.find("rowsifter-cli:") + 1), std::string::npos)
            << "said once: " << plain.err;
        args.push_back("--json");
        const Outcome json = cli(args);
        EXPECT_EQ(json.status, 1);
        EXPECT_EQ(json.err, "");
        std::string quoted; // as a JSON string holds it
        for (char ch : c.says)
            quoted += ch == '"' ? std::string("\\\"") : std::string(1, ch);
        EXPECT_NE(json.out.find(quoted), std::string::npos) << json.out;
    }
}

// Whatever is not a regular file is refused before anything opens it for reading, as /dev/zero is: a FIFO
// would otherwise block the first read for good.
TEST_F(CliTest, AFifoIsRefusedWithoutBeingRead) {
    const std::string fifo = dir.file("f.db");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Outcome device = cli({"-d", "/dev/zero", "-t", "T", "-f", "F", "-o", "O"});
    const std::string said = "'" + fifo + "' is not a database file.";
    ASSERT_NE(device.err.find("'/dev/zero' is not a database file."), std::string::npos) << device.err;
    const Outcome o = cli({"-d", fifo, "-t", "T", "-f", "F", "-o", "O"}, nullptr, 20);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find(said), std::string::npos) << o.err;
}

// The JSON's "kept" says what was written and kept: the SQLite copy of an Access file stays when the run
// after it fails.
TEST_F(CliTest, JsonSaysTheSqliteCopyWasKept) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    const std::string access = dir.file("nwind.mdb");
    std::filesystem::copy_file(data / "nwind.mdb", access);
    const std::string copy = dir.file("copy.sqlite");
    const Outcome o = cli({"-d", access, "--sqlite-copy", copy, "-t", "Orders", "-f", "Nope", "-o", "O", "--json"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(o.out.find("Nothing was changed"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\"kept\": \"The SQLite copy '" + copy + "' was written and is kept."), std::string::npos)
        << o.out;
}

} // namespace
