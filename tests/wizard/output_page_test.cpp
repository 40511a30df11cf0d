// The output page: the proposed name made once, "< Back" rebuilding the field page from the table,
// "Start Creating" running the engine with this page as its window, and nothing else starting meanwhile.
#include "app/pointer.h"
#include "dedupe/engine_host.h"
#include "page_fixture.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"
#include "wizard/form4_host.h"
#include "wizard/recordset_model.h"

#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>

namespace {

using wizard_test::PageTest;

class OutputPage : public PageTest {};

TEST_F(OutputPage, TheProposalIsMadeOnceFromTheFirstTable) {
    reachOutputPage(shop(), "Customers", {"City"});
    wizard::Form4& page = wizard::form4();
    EXPECT_EQ(page.Text1->text(), "Customers2");

    press(page.PushButton2);
    press(wizard::form3().PushButton2);
    chooseTable("Orders");
    press(wizard::form3().PushButton3);
    EXPECT_TRUE(page.isVisible());
    EXPECT_EQ(page.Text1->text(), "Customers2");
}

TEST_F(OutputPage, BackRebuildsTheFieldPageWithEveryFieldOnce) {
    reachOutputPage(shop(), "Customers", {"City", "FirstName"});
    wizard::Form3& fields = wizard::form3();
    wizard::unbindGrid(fields.DataGrid1); // whatever the preview showed, "< Back" shows the table again
    press(wizard::form4().PushButton2);
    EXPECT_TRUE(fields.isVisible());
    EXPECT_FALSE(wizard::form4().isVisible());
    EXPECT_EQ(entries(fields.List1), (QStringList{"ID", "LastName"}));
    EXPECT_EQ(entries(fields.List2), (QStringList{"City", "FirstName"}));
    ASSERT_NE(wizard::boundRecordset(fields.DataGrid1), nullptr);
    EXPECT_EQ(fields.DataGrid1->model()->rowCount(), 6);
    EXPECT_EQ(fields.DataGrid1->model()->columnCount(), 4);
    for (QPushButton* b :
         {fields.PushButton5, fields.PushButton6, fields.PushButton7, fields.PushButton8, fields.PushButton3})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(OutputPage, BackAfterTheTableWentAwayIsReportedOnceAndStillReturns) {
    const std::string path = shop();
    reachOutputPage(path, "Orders", {"Product"});
    dropTable(path, "Orders"); // gone since the list was filled
    press(wizard::form4().PushButton2);
    EXPECT_EQ(reported("Form4.PushButton2_Click"), (std::vector<int>{118, 122}));
    const wizard::Form3& fields = wizard::form3();
    EXPECT_TRUE(fields.isVisible());
    EXPECT_FALSE(wizard::form4().isVisible());
    EXPECT_EQ(fields.List1->count(), 0);
    EXPECT_EQ(entries(fields.List2), QStringList{"Product"});
    EXPECT_EQ(wizard::boundRecordset(fields.DataGrid1), nullptr);
}

TEST_F(OutputPage, StartCreatingWritesTheTableShowsItAndSaysDone) {
    const std::string path = shop();
    reachOutputPage(path, "Customers", {"FirstName", "LastName"});
    wizard::Form4& page = wizard::form4();
    bool lockedDuringRun = false;
    desktop.whileBoxOpen = [&](const app::testing::MessageBoxCall& box) {
        if (box.text != "Done.")
            return;
        // Still inside the run: neither a second start nor a way back may begin now.
        lockedDuringRun = !page.PushButton4->isEnabled() && !page.PushButton2->isEnabled();
        page.Text1->setText("Other");
        page.PushButton4_Click();
        page.PushButton2_Click();
        wizard::form3().PushButton6_Click();
        wizard::form2().PushButton3_Click();
    };
    press(page.PushButton4);
    EXPECT_TRUE(lockedDuringRun);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Done."});
    EXPECT_TRUE(page.isVisible());
    EXPECT_FALSE(wizard::form3().isVisible());
    EXPECT_EQ(entries(wizard::form3().List1), (QStringList{"ID", "City"}));
    EXPECT_TRUE(page.PushButton4->isEnabled());
    EXPECT_TRUE(page.PushButton2->isEnabled());
    EXPECT_EQ(page.windowTitle(), "Rowsifter");
    EXPECT_EQ(page.ProgressBar1->value(), 0);
    EXPECT_EQ(page.ProgressBar1->maximum(), 6);
    EXPECT_EQ(app::pointerStyle(&page), core::PointerDefault);

    // Case counts: "maria anders" is another customer.
    const std::vector<std::string> expected{"1|Maria|Anders|Berlin", "2|Ana|Trujillo|Mexico", "4|Thomas|Hardy|London",
                                            "5|maria|anders|Berlin"};
    EXPECT_EQ(rows(path, "SELECT * FROM [Customers2] ORDER BY [ID]"), expected);
    EXPECT_EQ(tables(path), (std::vector<std::string>{"Customers", "Orders", "Customers2"}))
        << "no second run was started";
    ASSERT_NE(page.DataGrid1->model(), nullptr);
    EXPECT_EQ(page.DataGrid1->model()->rowCount(), 4);
    EXPECT_EQ(page.DataGrid1->model()->headerData(1, Qt::Horizontal).toString(), "FirstName");
}

// A work table an earlier run left in the file is listed when the page list is filled: the first run
// drops it, and every later run in the same session, still seeing it listed, writes its table all the same.
TEST_F(OutputPage, StartCreatingTwiceOnAFileWithALeftoverWorkTableSaysDoneBothTimes) {
    const std::string path =
        makeDb("leftover.mdb", std::string(wizard_test::kShopScript) + "CREATE TABLE " + dedupe::ScratchTableName + "(a TEXT);");
    reachOutputPage(path, "Customers", {"FirstName", "LastName"});
    wizard::Form4& page = wizard::form4();
    press(page.PushButton4);
    page.Text1->setText("Customers3");
    press(page.PushButton4);
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"Done.", "Done."}));
    EXPECT_TRUE(desktop.reports().empty());
    EXPECT_EQ(tables(path), (std::vector<std::string>{"Customers", "Orders", "Customers2", "Customers3"}));
    EXPECT_EQ(rows(path, "SELECT * FROM [Customers3]"), rows(path, "SELECT * FROM [Customers2]"));
}

TEST_F(OutputPage, AMinimizedPageIsRestoredBeforeDone) {
    reachOutputPage(shop(), "Orders", {"Product"});
    wizard::Form4& page = wizard::form4();
    page.showMinimized();
    ASSERT_TRUE(page.isMinimized());
    bool minimizedAtDone = true;
    desktop.whileBoxOpen = [&](const app::testing::MessageBoxCall&) { minimizedAtDone = page.isMinimized(); };
    page.PushButton4_Click();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Done."});
    EXPECT_FALSE(minimizedAtDone);
}

TEST_F(OutputPage, TheWindowSeesTheLastRowAtThePaceOfTheScreen) {
    reachOutputPage(shop(), "Orders", {"Product"});
    wizard::Form4& page = wizard::form4();
    wizard::Form4Host host(page, std::chrono::hours(1)); // no frame falls due during the test
    QSignalSpy titles(&page, &QWidget::windowTitleChanged);
    host.setProgressMaximum(3);
    for (int row = 1; row <= 3; ++row) {
        host.setProgressValue(row);
        host.setTitle("Processing " + std::to_string(row) + " of 3");
        host.yield(); // well within one frame: nothing reaches the screen yet
    }
    EXPECT_EQ(titles.count(), 0);
    EXPECT_NE(page.ProgressBar1->value(), 3);
    host.setTitle("Rowsifter");
    ASSERT_EQ(titles.count(), 2);
    EXPECT_EQ(titles[0][0].toString(), "Processing 3 of 3");
    EXPECT_EQ(titles[1][0].toString(), "Rowsifter");
    EXPECT_EQ(page.ProgressBar1->value(), 3);
    host.setProgressValue(0);
    host.messageBox("Done.");
    EXPECT_EQ(page.ProgressBar1->value(), 0) << "the bar is emptied before the message";
}

TEST_F(OutputPage, AnOutputNameOfTheChosenTableIsRefusedBeforeAnythingChanges) {
    const std::string path = shop();
    reachOutputPage(path, "Orders", {"Product"});
    wizard::Form4& page = wizard::form4();
    page.Text1->setText("Orders");
    press(page.PushButton4);
    ASSERT_EQ(desktop.messages().size(), 1u);
    EXPECT_NE(desktop.messages()[0].text.find("Orders"), std::string::npos);
    EXPECT_EQ(rows(path, "SELECT * FROM [Orders]").size(), 2u);
    EXPECT_TRUE(page.PushButton4->isEnabled());
}

} // namespace
