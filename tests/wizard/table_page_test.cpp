// The table page: "Next >" opens the chosen table for the field page (list, preview, field list, button
// states before the chosen fields leave the list), "< Back", and the missing selection.
#include "app/pointer.h"
#include "app/program.h"
#include "page_fixture.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/recordset_model.h"
#include "wizard/wizard_selections.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <filesystem>

namespace {

using wizard_test::PageTest;

class TablePage : public PageTest {
protected:
    struct Buttons {
        bool choose, chooseAll, unchoose, unchooseAll, next;
        bool operator==(const Buttons&) const = default;
    };
    static Buttons buttons() {
        const wizard::Form3& p = wizard::form3();
        return {p.PushButton5->isEnabled(), p.PushButton6->isEnabled(), p.PushButton7->isEnabled(),
                p.PushButton8->isEnabled(), p.PushButton3->isEnabled()};
    }
    static QStringList gridRow(const QTableView* grid, int row) {
        QStringList cells;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            cells << grid->model()->index(row, c).data().toString();
        return cells;
    }
    static QStringList gridHeader(const QTableView* grid) {
        QStringList names;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            names << grid->model()->headerData(c, Qt::Horizontal).toString();
        return names;
    }
};

TEST_F(TablePage, NothingSelectedAsksForATableAndChangesNothing) {
    openDatabase(makeDb("empty.mdb", "CREATE VIEW v AS SELECT 1 AS one;"));
    wizard::Form2& page = wizard::form2();
    press(page.PushButton3);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Please select a table"});
    EXPECT_EQ(desktop.messages()[0].title, app::applicationTitle());
    EXPECT_TRUE(page.isVisible());
    EXPECT_FALSE(wizard::isLoaded(3));
    EXPECT_EQ(app::pointerStyle(&page), core::PointerDefault);
}

TEST_F(TablePage, NextOpensTheTableForTheFieldPage) {
    openDatabase(shop());
    chooseTable("Customers");
    const wizard::Form3& fields = wizard::form3();
    EXPECT_TRUE(fields.isVisible());
    EXPECT_FALSE(wizard::form2().isVisible());
    EXPECT_EQ(app::pointerStyle(&wizard::form2()), core::PointerDefault);
    EXPECT_EQ(wizard::selections().TableName, "Customers");
    EXPECT_EQ(wizard::selections().TableFieldList, "[ID], [FirstName], [LastName], [City]");
    EXPECT_EQ(entries(fields.List1), (QStringList{"ID", "FirstName", "LastName", "City"}));
    EXPECT_EQ(fields.List2->count(), 0);
    EXPECT_EQ(buttons(), (Buttons{true, true, false, false, false}));
    EXPECT_TRUE(fields.List1->item(0)->isSelected());
    EXPECT_TRUE(desktop.boxes.empty());

    // The preview: every row and column, Null as an empty cell.
    const QTableView* grid = fields.DataGrid1;
    ASSERT_NE(grid->model(), nullptr);
    EXPECT_EQ(gridHeader(grid), (QStringList{"ID", "FirstName", "LastName", "City"}));
    EXPECT_EQ(grid->model()->rowCount(), 6);
    EXPECT_EQ(gridRow(grid, 0), (QStringList{"1", "Maria", "Anders", "Berlin"}));
    EXPECT_EQ(gridRow(grid, 5), (QStringList{"6", "Ana", "Trujillo", "Mexico"}));
}

TEST_F(TablePage, NamesWithQuotingCharactersGoThroughWhole) {
    const std::string path =
        makeDb("odd.mdb", "CREATE TABLE \"Sales ] 2021\" (\"a]b\" TEXT, \"c`d\" INTEGER, [e f] TEXT, g TEXT);"
                          "INSERT INTO \"Sales ] 2021\" VALUES ('x', 1, NULL, 'y');");
    openDatabase(path);
    chooseTable("Sales ] 2021");
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(wizard::selections().TableFieldList, "[a]]b], [c`d], [e f], [g]");
    EXPECT_EQ(entries(wizard::form3().List1), (QStringList{"a]b", "c`d", "e f", "g"}));
    EXPECT_EQ(gridRow(wizard::form3().DataGrid1, 0), (QStringList{"x", "1", "", "y"}));
}

TEST_F(TablePage, BackAndForwardListsEachFieldOnceAndKeepsTheChoice) {
    openDatabase(shop());
    chooseTable("Customers");
    chooseField("LastName");
    chooseField("FirstName");
    wizard::Form3& fields = wizard::form3();
    press(fields.PushButton2);
    EXPECT_TRUE(wizard::form2().isVisible());
    EXPECT_FALSE(fields.isVisible());
    chooseTable("Customers");
    EXPECT_EQ(entries(fields.List1), (QStringList{"ID", "City"}));
    EXPECT_EQ(entries(fields.List2), (QStringList{"LastName", "FirstName"}));
    EXPECT_EQ(wizard::selections().TableFieldList, "[ID], [FirstName], [LastName], [City]");
    EXPECT_EQ(buttons(), (Buttons{true, true, true, true, true}));
}

// Another table keeps the chosen fields it has too (they leave its available list) and drops the others,
// which its scan could not read; with none left, "Next >" is disabled.
TEST_F(TablePage, AnotherTableKeepsOnlyTheChosenFieldsItHas) {
    openDatabase(shop());
    chooseTable("Customers");
    chooseField("City");
    chooseField("LastName");
    press(wizard::form3().PushButton2);
    chooseTable("Orders");
    const wizard::Form3& fields = wizard::form3();
    EXPECT_EQ(entries(fields.List1), (QStringList{"OrderID", "Customer", "Product"}));
    EXPECT_EQ(entries(fields.List2), (QStringList{"City"}));
    EXPECT_TRUE(fields.PushButton3->isEnabled());
    EXPECT_EQ(wizard::selections().TableName, "Orders");
    EXPECT_EQ(fields.DataGrid1->model()->rowCount(), 2);

    press(wizard::form3().PushButton2);
    makeDb("shop.mdb", "CREATE TABLE Plain(x TEXT);");
    wizard::form2().List1->addItem("Plain");
    chooseTable("Plain");
    EXPECT_EQ(entries(fields.List2), QStringList{});
    EXPECT_FALSE(fields.PushButton3->isEnabled()) << "nothing chosen: no way on";
}

TEST_F(TablePage, StatesAndSelectionAreThoseOfTheListBeforeTheChosenLeaveIt) {
    openDatabase(shop());
    chooseTable("Customers");
    chooseField("ID"); // the first field
    press(wizard::form3().PushButton2);
    chooseTable("Customers");
    const wizard::Form3& fields = wizard::form3();
    EXPECT_EQ(entries(fields.List1), (QStringList{"FirstName", "LastName", "City"}));
    EXPECT_TRUE(fields.List1->selectedItems().isEmpty()) << "the selected first entry was removed";

    // Everything chosen: the available list ends empty, but ">" and ">>" were enabled before it emptied.
    press(fields.PushButton6);
    press(fields.PushButton2);
    chooseTable("Customers");
    EXPECT_EQ(fields.List1->count(), 0);
    EXPECT_EQ(buttons(), (Buttons{true, true, true, true, true}));
}

TEST_F(TablePage, ATableThatCannotBeOpenedStillLeadsToAnEmptyFieldPage) {
    const std::string path = shop();
    openDatabase(path);
    chooseTable("Customers");
    press(wizard::form3().PushButton2);
    dropTable(path, "Orders"); // gone since the list was filled
    chooseTable("Orders");
    EXPECT_EQ(reported("Form2.PushButton3_Click"), std::vector<int>{124});
    EXPECT_NE(desktop.reports()[0].description.find("Orders"), std::string::npos) << desktop.reports()[0].description;
    const wizard::Form3& fields = wizard::form3();
    EXPECT_TRUE(fields.isVisible());
    EXPECT_FALSE(wizard::form2().isVisible());
    EXPECT_EQ(fields.List1->count(), 0);
    EXPECT_EQ(wizard::boundRecordset(fields.DataGrid1), nullptr);
    EXPECT_EQ(wizard::selections().TableFieldList, "");
    EXPECT_EQ(app::pointerStyle(&wizard::form2()), core::PointerDefault);
}

TEST_F(TablePage, APasswordChangedSinceTheListWasFilledIsReportedOnceAtTheOpening) {
    const std::string path = makeDb("locked.mdb", "CREATE TABLE t(a TEXT, b TEXT);", "pw");
    openDatabase(path, "pw");
    wizard::form1().Text2->setText("nope"); // the hidden box is what every connection reads
    chooseTable("t");
    EXPECT_EQ(reported("Form2.PushButton3_Click"), std::vector<int>{112});
    EXPECT_TRUE(wizard::form3().isVisible());
    EXPECT_EQ(wizard::form3().List1->count(), 0);
}

TEST_F(TablePage, ThePreviewKeepsTheFileOpenAfterTheHandlerEnds) {
    const std::string path = shop();
    openDatabase(path);
    chooseTable("Orders");
    const db::Recordset* shown = wizard::boundRecordset(wizard::form3().DataGrid1);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isOpen());
    // Rows are still read through the grid's own record set.
    EXPECT_EQ(wizard::form3().DataGrid1->model()->index(1, 2).data().toString(), "Tofu");
}

} // namespace
