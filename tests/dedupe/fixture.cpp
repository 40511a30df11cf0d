#include "fixture.h"
#include "db/catalogue.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace dedupe_test {

Rows query(const std::string& path, const std::string& sql, const std::string& password) {
    return testsupport::queryRows(testsupport::openConnection(path, password), sql, db::adOpenStatic);
}

std::vector<std::string> columnNames(const std::string& path, const std::string& table) {
    db::Connection connection;
    connection.Open(db::BuildConnectionString(path, ""));
    db::Recordset rs;
    rs.Open("SELECT * FROM " + db::quoteBracket(table) + ";", connection, db::adOpenDynamic, db::adLockOptimistic);
    std::vector<std::string> names;
    for (int i = 0; i < rs.fieldCount(); ++i)
        names.push_back(rs.field(i).Name);
    return names;
}

dedupe::EngineInputs inputsFor(const std::string& path, const std::string& table,
                               const std::vector<std::string>& chosen, const std::string& password) {
    return dedupe::makeEngineInputs(db::BuildConnectionString(path, password), table, columnNames(path, table),
                                    chosen);
}

std::vector<int> RecordingHost::reportedStatements() const {
    std::vector<int> numbers;
    for (const Report& r : reports)
        numbers.push_back(r.statement);
    return numbers;
}

bool RecordingHost::isTableListed(const std::string& name) const {
    return std::find(listed.begin(), listed.end(), name) != listed.end();
}

void RecordingHost::setProgressMaximum(double maximum) {
    progressMaximum = maximum;
    events.push_back("maximum " + std::to_string(static_cast<long long>(maximum)));
}

void RecordingHost::setTitle(const std::string& text) {
    titles.push_back(text);
    events.push_back("title " + text);
}

void RecordingHost::setPointer(int style) {
    pointers.push_back(style);
    events.push_back("pointer " + std::to_string(style));
}

void RecordingHost::restoreNormal() {
    minimized = false;
    events.push_back("restore");
}

void RecordingHost::bindResult(const db::Recordset& result) {
    bound = result;
    events.push_back("bind");
}

void RecordingHost::clearResult() {
    bound.reset();
    events.push_back("clear");
}

void RecordingHost::messageBox(const std::string& text) {
    messages.push_back(text);
    events.push_back("message " + text);
}

void RecordingHost::report(const std::string& description, const std::string& location, int statement) {
    reports.push_back({description, location, statement});
    events.push_back("report " + std::to_string(statement));
}

void RecordingHost::yield() {
    ++yields;
    if (onYield)
        onYield();
}

} // namespace dedupe_test
