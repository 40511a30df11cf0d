#pragma once
// Real database files in a fresh temporary folder per test, through the shared test helpers.
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/internal.h"
#include "db/recordset.h"
#include "db/types.h"
#include "tests/support/test_support.h"
#include <string>
#include <vector>

namespace dbtest {

using testsupport::errorOf;

class TempDir : public testsupport::TempDirTest {
protected:
    static db::Connection open(const std::string& path, const std::string& password = "") {
        return testsupport::openConnection(path, password);
    }
    // Every row of a statement's result as text, one string per row, values joined by '|'.
    static std::vector<std::string> rows(const db::Connection& c, const std::string& sql,
                                         int cursor = db::adOpenStatic) {
        return testsupport::joinedRows(c, sql, cursor);
    }
};

} // namespace dbtest
