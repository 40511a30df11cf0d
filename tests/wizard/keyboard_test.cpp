// The pages by keyboard and for screen readers: Enter presses each page's way on ("Next >", "Start
// Creating") from the boxes and lists, a focused button takes Enter itself, a held-back default ignores
// it; the buttons without words and the boxes without a caption of their own have names that say what
// they are.
#include "page_fixture.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <set>

namespace {

using wizard_test::PageTest;

class Keyboard : public PageTest {
protected:
    // Enter (or the keypad's Enter) in `control`, which has the focus of its page.
    static void enter(QWidget* control, Qt::Key key = Qt::Key_Return) {
        control->setFocus();
        QTest::keyClick(control, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    }

    static QString accessibleName(QWidget* w) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        return face ? face->text(QAccessible::Name) : QString();
    }
};

TEST_F(Keyboard, EnterWalksTheWholeRoad) {
    const std::string path = shop();
    enterDatabase(path);
    enter(wizard::form1().Text1);
    wizard::Form2& tables = wizard::form2();
    ASSERT_TRUE(tables.isVisible()) << "Enter in the path box presses Next >";

    select(tables.List1, "Customers");
    enter(tables.List1, Qt::Key_Enter);
    wizard::Form3& fields = wizard::form3();
    ASSERT_TRUE(fields.isVisible()) << "Enter in the table list presses Next >";

    // No field chosen: Next > is held back and Enter does nothing.
    ASSERT_FALSE(fields.PushButton3->isEnabled());
    enter(fields.List1);
    EXPECT_TRUE(fields.isVisible());
    EXPECT_FALSE(wizard::isLoaded(4));
    // A button with the focus takes Enter itself: ">" chooses the selected field.
    select(fields.List1, "FirstName");
    enter(fields.PushButton5);
    EXPECT_EQ(entries(fields.List2), QStringList{"FirstName"});
    EXPECT_TRUE(fields.isVisible());
    enter(fields.List2);
    wizard::Form4& output = wizard::form4();
    ASSERT_TRUE(output.isVisible()) << "Enter in a field list presses Next >";

    enter(output.Text1);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Done."}) << "Enter in the name box presses Start Creating";
    EXPECT_EQ(rows(path, "SELECT [FirstName] FROM [Customers2] ORDER BY [ID]"),
              (std::vector<std::string>{"Maria", "Ana", "Thomas", "maria"}));
    EXPECT_TRUE(desktop.reports().empty());
}

TEST_F(Keyboard, TheDefaultButtonOfEachPageIsItsWayOn) {
    const struct {
        QWidget* page;
        QPushButton* way;
    } pages[] = {{&wizard::form1(), wizard::form1().PushButton3},
                 {&wizard::form2(), wizard::form2().PushButton3},
                 {&wizard::form3(), wizard::form3().PushButton3},
                 {&wizard::form4(), wizard::form4().PushButton4}};
    for (const auto& p : pages) {
        std::vector<QString> defaults;
        for (const QPushButton* b : p.page->findChildren<QPushButton*>())
            if (b->isDefault())
                defaults.push_back(b->objectName());
        EXPECT_EQ(defaults, std::vector<QString>{p.way->objectName()}) << p.page->objectName().toStdString();
    }
}

TEST_F(Keyboard, ButtonsAndBoxesHaveNamesThatSayWhatTheyAre) {
    wizard::Form1& f1 = wizard::form1();
    wizard::Form3& f3 = wizard::form3();
    // Buttons whose caption is a sign: a sentence for the tool tip, the same for screen readers.
    const std::vector<QPushButton*> signs = {f1.PushButton5, f3.PushButton5, f3.PushButton6, f3.PushButton7,
                                             f3.PushButton8};
    std::set<QString> said;
    for (QPushButton* b : signs) {
        SCOPED_TRACE(b->window()->objectName().toStdString() + "." + b->objectName().toStdString());
        const QString name = accessibleName(b);
        EXPECT_EQ(name, b->toolTip());
        EXPECT_TRUE(name.contains(' ') && name.size() > b->text().size()) << name.toStdString();
        said.insert(name);
    }
    EXPECT_EQ(said.size(), signs.size()) << "each button says something else";

    // Boxes: named by their label, or by a name of their own where the frame's caption is no name.
    EXPECT_EQ(accessibleName(f1.Text1), f1.Label5->text());
    EXPECT_EQ(accessibleName(f1.Text2), f1.lblPassword->text());
    std::set<QString> boxes;
    for (QWidget* box : {static_cast<QWidget*>(wizard::form2().List1), static_cast<QWidget*>(f3.List1),
                         static_cast<QWidget*>(f3.List2), static_cast<QWidget*>(wizard::form4().Text1)})
        boxes.insert(accessibleName(box));
    EXPECT_EQ(boxes.size(), 4u);
    EXPECT_FALSE(boxes.count(QString()));
}

} // namespace
