#pragma once
// Real database files in a fresh temporary folder per test.
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/internal.h"
#include "db/recordset.h"
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace dbtest {

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "rowsifter-db-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string file(const std::string& name) const { return (m_dir / name).string(); }

    // A new database file made from plain SQLite text.
    std::string makeDb(const std::string& name, const std::string& script, const std::string& password = "") {
        const std::string path = file(name);
        db::internal::createDatabase(path, password, script);
        return path;
    }

    static db::Connection open(const std::string& path, const std::string& password = "") {
        db::Connection c;
        c.Mode = db::adModeReadWrite;
        c.Open(db::BuildConnectionString(path, password));
        return c;
    }

    // Every row of a statement's result as text, one string per row, values joined by '|'.
    static std::vector<std::string> rows(const db::Connection& c, const std::string& sql,
                                         int cursor = db::adOpenStatic) {
        db::Recordset r;
        r.Open(sql, c, cursor, db::adLockOptimistic);
        std::vector<std::string> out;
        while (!r.EOF_()) {
            std::string line;
            for (int i = 0; i < r.fieldCount(); ++i)
                line += (i ? "|" : "") + (r[i].isNull() ? std::string("<null>") : r[i].toText());
            out.push_back(line);
            r.MoveNext();
        }
        return out;
    }

    std::filesystem::path m_dir;
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

} // namespace dbtest
