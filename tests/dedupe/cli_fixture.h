#pragma once
// rowsifter-cli run as a user runs it: the built program on real files, its exit status and what it prints.
#include "fixture.h"
#include "tests/support/process.h"
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
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

} // namespace dedupe_test
