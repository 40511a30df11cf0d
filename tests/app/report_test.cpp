// The error report as the wizard shows it: a warning box with the report text, and that text read back.
#include "app/desktop_reporter.h"
#include "core/error_report.h"
#include "app/program.h"
#include "app/testing/fake_desktop.h"

#include <gtest/gtest.h>
#include <string>

namespace {

const std::string kLocation = "in Quarnelby2021/08/31.Form9.Sample_Click ";

TEST(ReportBox, IsAWarningTitledApplicationErrorWithOneOk) {
    app::testing::FakeDesktop desktop;
    app::reporter().report("Disk full", kLocation, 118);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].title, "Application Error");
    EXPECT_EQ(desktop.boxes[0].buttons, app::Buttons::Ok);
    EXPECT_EQ(desktop.boxes[0].icon, app::Icon::Warning);
    EXPECT_EQ(desktop.boxes[0].text, core::buildErrorReportText("Disk full", kLocation, 118));
}

TEST(ReportBox, ReadsBackIntoItsParts) {
    app::testing::ReportCall r;
    ASSERT_TRUE(app::testing::parseReport(core::buildErrorReportText("two\r\nlines", kLocation, 211), r));
    EXPECT_EQ(r.description, "two\r\nlines");
    EXPECT_EQ(r.location, kLocation);
    EXPECT_EQ(r.statement, 211);
}

} // namespace
