#pragma once
// rowsifter-cli run as a user runs it: the built program on real files, its exit status and what it prints.
#include "fixture.h"
#include "tests/server/server_support.h"
#include "tests/support/process.h"
#include "tests/support/sqlite_tool.h"
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace dedupe_test {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

using testsupport::shellQuoted;

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CliTest : public ::testing::Test {
protected:
    dedupe_test::TempDir dir;
    std::string path = dir.file("shop.db");

    // Runs the program with `args`; `password` (when given) goes into the environment. Standard input is
    // not a terminal, so the program never prompts.
    // A run longer than `timeoutSeconds` (when given) is killed.
    Outcome cli(const std::vector<std::string>& args, const char* password = nullptr, int timeoutSeconds = 0) {
        std::string command = timeoutSeconds > 0 ? "timeout " + std::to_string(timeoutSeconds) + " " : "";
        command += password ? "env ROWSIFTER_PASSWORD=" + shellQuoted(password) + " " : "env -u ROWSIFTER_PASSWORD ";
        command += shellQuoted(ROWSIFTER_CLI);
        for (const auto& a : args)
            command += " " + shellQuoted(a);
        const testsupport::ProcessResult r = testsupport::runProcess(command);
        return Outcome{r.status, r.out, r.err};
    }

    void makeShop(const std::string& key = "") {
        dedupe_test::runScript(path,
                               "CREATE TABLE Customers(ID INTEGER PRIMARY KEY, First TEXT, Last TEXT, City TEXT);"
                               "INSERT INTO Customers VALUES (1,'Ann','Lee','Oslo'),(2,'Bob','Ray','Rome'),"
                               "(3,'Ann','Lee','Bonn'),(4,'ann','Lee','Oslo'),(5,'Bob','Ray','Oslo');",
                               key);
    }
};

// The same tables in a file or on a server database of the test's own, made and read back by SQL the two
// understand alike (names in double quotes); `path` is the file or the server database's address. Read
// back, a row is its values joined by '|'.
class BackendCliTest : public CliTest {
protected:
    std::optional<servertest::ServerDatabase> server;

    virtual bool onServer() const = 0;
    // Skips (or fails under CI) without the back-end's tools; a derived SetUp goes on only when ready().
    void SetUp() override {
        if (onServer()) {
            ROWSIFTER_REQUIRE_SERVER();
            server.emplace();
            path = server->uri();
        } else {
            ROWSIFTER_REQUIRE_SQLITE_TOOL();
        }
    }
    static bool ready() { return !IsSkipped() && !HasFatalFailure(); }
    void script(const std::string& sql) {
        if (server)
            server->sql(sql);
        else
            testsupport::runSqliteTool(path, sql);
    }
    // The rows of a query, one line each.
    std::string dump(const std::string& sql) {
        if (!server)
            return testsupport::runSqliteTool(path, sql);
        std::string text;
        for (const std::string& row : server->rows(sql))
            text += row + "\n";
        return text;
    }
    // The names of the ordinary tables, one line each, in byte order.
    std::string tables() {
        return dump(server ? "SELECT relname FROM pg_class WHERE relkind = 'r' AND relnamespace = "
                             "'public'::regnamespace ORDER BY relname;"
                           : "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;");
    }
    // Everything a run could change: the file's bytes, or every table's rows on the server.
    std::string everything() {
        if (!server)
            return slurp(path);
        std::string text;
        for (const std::string& table : server->rows("SELECT quote_ident(relname) FROM pg_class WHERE relkind = 'r' "
                                                     "AND relnamespace = 'public'::regnamespace ORDER BY 1"))
            text += table + ":\n" + dump("SELECT * FROM " + table + " ORDER BY 1");
        return text;
    }
    // The shop's customers, of whom two repeat another on First and Last.
    void makeShop() {
        script("CREATE TABLE \"Customers\"(\"ID\" INTEGER PRIMARY KEY, \"First\" TEXT, \"Last\" TEXT, \"City\" TEXT);"
               "INSERT INTO \"Customers\" VALUES (1,'Ann','Lee','Oslo'),(2,'Bob','Ray','Rome'),"
               "(3,'Ann','Lee','Bonn'),(4,'ann','Lee','Oslo'),(5,'Bob','Ray','Oslo');");
    }
};

inline std::string backendName(bool onServer) {
    return onServer ? "Server" : "File";
}

// Cases that run once per back-end.
class PerBackend : public BackendCliTest, public ::testing::WithParamInterface<bool> {
protected:
    bool onServer() const override { return GetParam(); }
};

// Table-driven cases, each run once per back-end.
template <class Case>
class PerBackendCase : public BackendCliTest, public ::testing::WithParamInterface<std::tuple<Case, bool>> {
protected:
    bool onServer() const override { return std::get<1>(this->GetParam()); }
    const Case& param() const { return std::get<0>(this->GetParam()); }
};

// The name of a case of a PerBackendCase suite: the case's own, then the back-end.
struct CaseAndBackendName {
    template <class Info> std::string operator()(const Info& info) const {
        return std::string(std::get<0>(info.param).name) + "_" + backendName(std::get<1>(info.param));
    }
};

} // namespace dedupe_test
