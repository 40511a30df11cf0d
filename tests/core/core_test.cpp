// The error report's text, the location texts, and where a trapped procedure goes on after a failing
// statement.
#include "core/error_report.h"
#include "core/program.h"
#include "core/trap.h"
#include "db/error.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const std::string kLocation = core::location("Form9.Sample_Click");

struct Recorded {
    std::string description;
    std::string location;
    int statement;
};

class RecordingReporter : public core::Reporter {
public:
    void report(const std::string& description, const std::string& location, int statement) override {
        reports.push_back({description, location, statement});
    }
    std::vector<Recorded> reports;
};

TEST(ReportText, JoinsDescriptionLocationNumberAndRequest) {
    const std::string expected = "Table 'Orders' does not exist\r\nin Quarnelby2021/08/31.Form2.PushButton3_Click "
                                 "at line 124\r\rPlease email screenshot of this message to " +
                                 core::supportEmail();
    EXPECT_EQ(core::buildErrorReportText("Table 'Orders' does not exist", core::location("Form2.PushButton3_Click"),
                                         124),
              expected);
}

TEST(ReportText, EmptyDescriptionStillStartsWithTheLineBreak) {
    const std::string text = core::buildErrorReportText("", kLocation, 100);
    EXPECT_EQ(text.rfind("\r\n" + kLocation + "at line 100\r\r", 0), 0u) << text;
}

TEST(ReportText, SupportAddressIsAnEmailAddress) {
    const std::string& address = core::supportEmail();
    ASSERT_NE(address.find('@'), std::string::npos);
    EXPECT_EQ(address.find(' '), std::string::npos);
}

// The program's own helpers have no trap: their failures belong to the statement that called them.
void helperWithoutTrap(std::vector<std::string>& trace) {
    trace.push_back("helper start");
    throw db::Error(db::err::FileNotFound, "The database file /tmp/gone.mdb does not exist");
}

TEST(Trap, GoesOnWithTheNextStatementAndReportsEachFailure) {
    RecordingReporter reporter;
    core::Trap trap{kLocation, reporter};
    std::vector<std::string> trace;
    trap.run(100, [&] { throw std::runtime_error("first"); });
    trap.run(102, [&] { trace.push_back("102"); });
    trap.run(104, [&] { trace.push_back("104a"); });
    trap.run(104, [&] { throw std::runtime_error("second of three at 104"); });
    trap.run(104, [&] { trace.push_back("104c"); });
    trap.run(106, [&] { helperWithoutTrap(trace); });
    trap.run(108, [&] { trace.push_back("108"); });

    EXPECT_EQ(trace, (std::vector<std::string>{"102", "104a", "104c", "helper start", "108"}));
    ASSERT_EQ(reporter.reports.size(), 3u);
    EXPECT_EQ(reporter.reports[0].statement, 100);
    EXPECT_EQ(reporter.reports[0].description, "first");
    EXPECT_EQ(reporter.reports[1].statement, 104);
    EXPECT_EQ(reporter.reports[1].description, "second of three at 104");
    EXPECT_EQ(reporter.reports[2].statement, 106);
    EXPECT_EQ(reporter.reports[2].description, "The database file /tmp/gone.mdb does not exist");
    for (const Recorded& r : reporter.reports)
        EXPECT_EQ(r.location, kLocation);
    EXPECT_EQ(trap.failures(), 3);
}

TEST(Trap, AFailingConditionGoesIntoTheThenBranch) {
    RecordingReporter reporter;
    core::Trap trap{kLocation, reporter};
    std::vector<int> ran;
    if (trap.test(106, [&]() -> bool { throw std::runtime_error("no list"); }))
        trap.run(108, [&] { ran.push_back(108); });
    else
        trap.run(176, [&] { ran.push_back(176); });
    trap.run(110, [&] { ran.push_back(110); });
    EXPECT_EQ(ran, (std::vector<int>{108, 110}));
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].statement, 106);
}

TEST(Trap, AFalseConditionSkipsTheBranchWithoutAReport) {
    RecordingReporter reporter;
    core::Trap trap{kLocation, reporter};
    bool branch = false;
    if (trap.test(106, [] { return false; }))
        branch = true;
    EXPECT_FALSE(branch);
    EXPECT_TRUE(reporter.reports.empty());
}

TEST(Trap, ANestedTrappedProcedureReportsItsOwnFailureAndReturnsNormally) {
    RecordingReporter reporter;
    const std::string inner = core::location("Access.AddTablesToAccessListbox");
    auto trappedCallee = [&] {
        core::Trap own{inner, reporter};
        own.run(104, [] { throw std::runtime_error("cannot read the catalogue"); });
    };
    core::Trap trap{kLocation, reporter};
    EXPECT_TRUE(trap.run(106, trappedCallee));
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].location, inner);
    EXPECT_EQ(reporter.reports[0].statement, 104);
}

TEST(Trap, AValueStatementThatFailsLeavesTheFallback) {
    RecordingReporter reporter;
    core::Trap trap{kLocation, reporter};
    const int count = trap.value(120, -1, []() -> int { throw db::Error(db::err::ObjectClosed, "closed"); });
    EXPECT_EQ(count, -1);
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].description, "closed");
}

} // namespace
