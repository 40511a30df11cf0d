#pragma once
// Files made and checked by the system's sqlite3 command-line tool, the way a user's own files are made.
#include "tests/support/test_support.h"
#include <cstdio>
#include <fstream>
#include <string>

namespace testsupport {

inline bool sqliteToolPresent() {
    return std::system("sqlite3 -version > /dev/null 2>&1") == 0;
}

// Runs a script in the tool against `path` and returns what it prints; the exit status is checked.
inline std::string runSqliteTool(const std::string& path, const std::string& script) {
    const std::string scriptFile = path + ".script.sql";
    std::ofstream(scriptFile, std::ios::binary) << script;
    const std::string command = "sqlite3 -batch " + shellQuoted(path) + " < " + shellQuoted(scriptFile) + " 2>&1";
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return output;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << command << ": " << output;
    std::remove(scriptFile.c_str());
    return output;
}

} // namespace testsupport

// In a test that needs the sqlite3 tool: skips without it, fails under CI.
#define ROWSIFTER_REQUIRE_SQLITE_TOOL()                                                                                \
    if (!::testsupport::sqliteToolPresent()) {                                                                              \
        if (::testsupport::ciRun())                                                                                    \
            FAIL() << "the sqlite3 command-line tool is missing under CI";                                             \
        GTEST_SKIP() << "the sqlite3 command-line tool is missing";                                                    \
    }
