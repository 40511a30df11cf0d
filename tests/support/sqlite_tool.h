#pragma once
// Files made and checked by the system's sqlite3 command-line tool, the way a user's own files are made.
#include "tests/support/process.h"
#include "tests/support/test_support.h"
#include <string>

namespace testsupport {

inline bool sqliteToolPresent() {
    return runProcess("sqlite3 -version").status == 0;
}

// Runs a script in the tool against `path` and returns what it prints; the exit status is checked.
inline std::string runSqliteTool(const std::string& path, const std::string& script) {
    const ProcessResult result = runProcess("sqlite3 -batch " + shellQuoted(path) + " 2>&1", script);
    EXPECT_EQ(result.status, 0) << "sqlite3 on " << path << ": " << result.out;
    return result.out;
}

} // namespace testsupport

// In a test that needs the sqlite3 tool: skips without it, fails under CI.
#define ROWSIFTER_REQUIRE_SQLITE_TOOL()                                                                                \
    if (!::testsupport::sqliteToolPresent()) {                                                                              \
        if (::testsupport::ciRun())                                                                                    \
            FAIL() << "the sqlite3 command-line tool is missing under CI";                                             \
        GTEST_SKIP() << "the sqlite3 command-line tool is missing";                                                    \
    }
