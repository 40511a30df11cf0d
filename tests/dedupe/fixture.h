#pragma once
// Real database files in a temporary folder, and a host that records what the engine asks of its window.
#include "core/error_report.h"
#include "db/recordset.h"
#include "dedupe/engine_host.h"
#include "tests/support/test_support.h"
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dedupe_test {

using testsupport::runScript;
using TempDir = testsupport::TempFolder;

using Rows = std::vector<std::vector<std::string>>;
using testsupport::kNull;

// Rows of one statement of the program's dialect, each value as text (kNull for Null).
Rows query(const std::string& path, const std::string& sql, const std::string& password = "");
std::vector<std::string> columnNames(const std::string& path, const std::string& table);
using testsupport::tableNames;

// The texts the pages hand over: every field in brackets, the chosen ones in back-quotes.
dedupe::EngineInputs inputsFor(const std::string& path, const std::string& table,
                               const std::vector<std::string>& chosen, const std::string& password = "");

struct Report {
    std::string description;
    std::string location;
    int statement;
};

class RecordingHost : public dedupe::EngineHost, public core::Reporter {
public:
    std::string output;
    std::vector<std::string> listed;
    bool minimized = false;
    std::function<void()> onYield;

    double progressMaximum = -1;
    std::vector<double> progressValues;
    std::vector<std::string> titles;
    std::vector<int> pointers;
    std::vector<std::string> messages;
    std::vector<Report> reports;
    std::optional<db::Recordset> bound;
    long long yields = 0;
    // Everything but yields and per-row progress, in order: "clear", "pointer 11", "maximum 3", "title ...",
    // "bind", "restore", "message ...", "report 110".
    std::vector<std::string> events;

    std::vector<int> reportedStatements() const;

    std::string outputName() const override { return output; }
    bool isTableListed(const std::string& name) const override;
    void setProgressMaximum(double maximum) override;
    void setProgressValue(double value) override { progressValues.push_back(value); }
    void setTitle(const std::string& text) override;
    void setPointer(int style) override;
    bool isMinimized() const override { return minimized; }
    void restoreNormal() override;
    void bindResult(const db::Recordset& result) override;
    void clearResult() override;
    void messageBox(const std::string& text) override;
    void yield() override;
    core::Reporter& reporter() override { return *this; }
    void report(const std::string& description, const std::string& location, int statement) override;
};

} // namespace dedupe_test
