#pragma once
// What every test folder needs: a fresh temporary folder, databases made from SQLite text, the rows of a
// statement as text, the error a call throws, and the folder of real Access files.
#include "db/connection.h"
#include "db/error.h"
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace testsupport {

inline constexpr const char* kNull = "<null>";

// A new temporary folder for the object's lifetime.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Creates the database file at `path` (or extends an existing one) with a script of plain SQLite
// statements; a password encrypts a new file.
void runScript(const std::string& path, const std::string& script, const std::string& password = "");

// A read-write connection to a database file, as the pages open one.
db::Connection openConnection(const std::string& path, const std::string& password = "");

// Every row of a statement of the program's dialect, values as text (Null as kNull).
std::vector<std::vector<std::string>> queryRows(const db::Connection& connection, const std::string& sql,
                                                int cursorType);
// The same rows, one string per row with the values joined by '|'.
std::vector<std::string> joinedRows(const db::Connection& connection, const std::string& sql, int cursorType);

// The names of a database's listed tables ("TABLE" entries of the catalogue), in catalogue order.
std::vector<std::string> tableNames(const std::string& path, const std::string& password = "");

// `text` as one word of a shell command line, in single quotes.
inline std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The folder of real Access files given to the build; empty when it is missing. Under CI a missing folder
// is a failure of the run, elsewhere the tests that need it skip.
std::filesystem::path accessDataFolder();
bool ciRun();

// A gtest fixture with its own temporary folder.
class TempDirTest : public ::testing::Test {
protected:
    std::string file(const std::string& name) const { return m_folder.file(name); }
    std::string makeDb(const std::string& name, const std::string& script, const std::string& password = "") {
        const std::string path = file(name);
        runScript(path, script, password);
        return path;
    }
    const std::filesystem::path& folder() const { return m_folder.path(); }

private:
    TempFolder m_folder;
};

// Runs `f` and returns the db::Error it throws; fails the test when it throws nothing.
template <class F> db::Error errorOf(F&& f) {
    try {
        f();
    } catch (const db::Error& e) {
        return e;
    }
    ADD_FAILURE() << "expected a db::Error";
    return db::Error(0, "");
}

} // namespace testsupport

// In a test that needs the real Access files: skips (saying why) when the folder is missing, fails under CI.
#define ROWSIFTER_REQUIRE_ACCESS_DATA(folderVariable)                                                          \
    const std::filesystem::path folderVariable = ::testsupport::accessDataFolder();                            \
    if (folderVariable.empty()) {                                                                              \
        if (::testsupport::ciRun())                                                                            \
            FAIL() << "the folder of real Access files is missing under CI: " ROWSIFTER_ACCESS_TESTDATA;        \
        GTEST_SKIP() << "the folder of real Access files is missing: " ROWSIFTER_ACCESS_TESTDATA;               \
    }
