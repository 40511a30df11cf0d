// The field page: moving fields one by one, all at once and by double-click, the button states after
// every move, the missing selection, and the hand-over of the chosen fields in chosen order.
#include "app/program.h"
#include "page_fixture.h"
#include "wizard/form3.h"
#include "wizard/form4.h"
#include "wizard/wizard_selections.h"

#include <QListWidget>
#include <QPushButton>

namespace {

using wizard_test::PageTest;

class FieldPage : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        openDatabase(makeDb("letters.mdb", "CREATE TABLE Letters (A TEXT, B TEXT, C TEXT, D TEXT);"));
        chooseTable("Letters");
    }
    static wizard::Form3& page() { return wizard::form3(); }
    // ">" ">>" "<" "<<" "Next >" enabled, as a five-letter pattern like "11000".
    static std::string states() {
        std::string s;
        for (QPushButton* b :
             {page().PushButton5, page().PushButton6, page().PushButton7, page().PushButton8, page().PushButton3})
            s += b->isEnabled() ? '1' : '0';
        return s;
    }
};

TEST_F(FieldPage, ChosenOrderIsTheHandOverOrder) {
    for (const char* field : {"C", "A", "B"})
        chooseField(field);
    EXPECT_EQ(entries(page().List2), (QStringList{"C", "A", "B"}));
    EXPECT_EQ(entries(page().List1), QStringList{"D"});
    press(page().PushButton3);
    EXPECT_EQ(wizard::selections().ChosenFieldList, "`C`, `A`, `B`");
    EXPECT_TRUE(wizard::form4().isVisible());
    EXPECT_FALSE(page().isVisible());
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(FieldPage, ASingleFieldHasNoSeparatorAndBackQuotesInNamesAreDoubled) {
    chooseField("B");
    press(page().PushButton3);
    EXPECT_EQ(wizard::selections().ChosenFieldList, "`B`");

    press(wizard::form4().PushButton2);
    page().List2->clear();
    page().List2->addItem("it`s");
    page().List2->addItem("x");
    press(page().PushButton3);
    EXPECT_EQ(wizard::selections().ChosenFieldList, "`it``s`, `x`");
}

TEST_F(FieldPage, MovingWithoutASelectionAsksForOneAndChangesNothing) {
    press(page().PushButton5); // "A" was selected by the table page
    EXPECT_TRUE(desktop.boxes.empty());
    press(page().PushButton5); // nothing selected now
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Please select a field first."});
    EXPECT_EQ(desktop.messages()[0].title, app::applicationTitle());
    EXPECT_EQ(entries(page().List1), (QStringList{"B", "C", "D"}));
    EXPECT_EQ(entries(page().List2), QStringList{"A"});

    press(page().PushButton7); // nothing selected in the chosen list either
    EXPECT_EQ(desktop.messages().size(), 2u);
    EXPECT_EQ(entries(page().List2), QStringList{"A"});
}

TEST_F(FieldPage, MovesAppendAtTheEndAndStatesFollowEveryMove) {
    EXPECT_EQ(states(), "11000");
    chooseField("B");
    EXPECT_EQ(states(), "11111");
    chooseField("D");
    select(page().List2, "B");
    press(page().PushButton7); // "<" returns B to the end, not to its former place
    EXPECT_EQ(entries(page().List1), (QStringList{"A", "C", "B"}));
    EXPECT_EQ(entries(page().List2), QStringList{"D"});
    EXPECT_TRUE(page().List2->selectedItems().isEmpty());

    press(page().PushButton6); // ">>" after what is already chosen, in list order
    EXPECT_EQ(entries(page().List2), (QStringList{"D", "A", "C", "B"}));
    EXPECT_EQ(page().List1->count(), 0);
    EXPECT_EQ(states(), "00111");

    press(page().PushButton8); // "<<" empties the chosen list
    EXPECT_EQ(entries(page().List1), (QStringList{"D", "A", "C", "B"}));
    EXPECT_EQ(states(), "11000");

    chooseField("C");
    select(page().List2, "C");
    press(page().PushButton7); // emptying it with "<" as well
    EXPECT_EQ(states(), "11000");
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(FieldPage, MovingAllFromAnEmptyListChangesNothingButTheStates) {
    press(page().PushButton6);
    ASSERT_EQ(page().List1->count(), 0);
    // Force a stale state: the handler recomputes it from the lists.
    page().PushButton5->setEnabled(true);
    page().PushButton6->setEnabled(true);
    press(page().PushButton6);
    EXPECT_EQ(entries(page().List2), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(states(), "00111");
}

TEST_F(FieldPage, DoubleClicksMoveQuietly) {
    doubleClickEntry(page().List1, 2); // C
    EXPECT_EQ(entries(page().List2), QStringList{"C"});
    EXPECT_EQ(states(), "11111");
    doubleClickEntry(page().List2, 0);
    EXPECT_EQ(entries(page().List1), (QStringList{"A", "B", "D", "C"}));
    EXPECT_EQ(states(), "11000");
    doubleClickEntry(page().List2, -1); // the empty chosen list
    EXPECT_EQ(page().List2->count(), 0);
    EXPECT_EQ(page().List1->count(), 4);
    EXPECT_TRUE(desktop.boxes.empty());
}

} // namespace
