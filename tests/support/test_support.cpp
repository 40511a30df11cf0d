#include "tests/support/test_support.h"
#include "db/catalogue.h"
#include "db/connection_string.h"
#include "db/internal.h"
#include "db/recordset.h"
#include <cstdlib>
#include <stdexcept>

namespace testsupport {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rowsifter-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void runScript(const std::string& path, const std::string& script, const std::string& password) {
    if (std::filesystem::exists(path))
        db::internal::executeScript(path, password, script);
    else
        db::internal::createDatabase(path, password, script);
}

db::Connection openConnection(const std::string& path, const std::string& password) {
    db::Connection c;
    c.Mode = db::adModeReadWrite;
    c.Open(db::BuildConnectionString(path, password));
    return c;
}

std::vector<std::vector<std::string>> queryRows(const db::Connection& connection, const std::string& sql,
                                                int cursorType) {
    db::Recordset rs;
    rs.Open(sql, connection, cursorType, db::adLockOptimistic);
    std::vector<std::vector<std::string>> rows;
    for (; !rs.EOF_(); rs.MoveNext()) {
        std::vector<std::string> row;
        for (int i = 0; i < rs.fieldCount(); ++i) {
            const db::Value value = rs[i];
            row.push_back(value.isNull() ? kNull : value.toText());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> joinedRows(const db::Connection& connection, const std::string& sql, int cursorType) {
    std::vector<std::string> out;
    for (const auto& row : queryRows(connection, sql, cursorType)) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += (i ? "|" : "") + row[i];
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> tableNames(const std::string& path, const std::string& password) {
    auto names = db::GetAccessTableNames(path, db::BuildConnectionString(path, password));
    return names ? *names : std::vector<std::string>{};
}

bool ciRun() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

std::filesystem::path accessDataFolder() {
    const std::filesystem::path folder = ROWSIFTER_ACCESS_TESTDATA;
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec) ? folder : std::filesystem::path();
}

} // namespace testsupport
