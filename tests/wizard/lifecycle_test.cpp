// Closing any page ends the whole program at once.
#include "window_fixture.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"

#include <QLineEdit>

namespace {

using app_test::WindowTest;

class Lifecycle : public WindowTest {};

TEST_F(Lifecycle, ClosingAnyPageEndsTheProgram) {
    QWidget* pages[] = {&wizard::form1(), &wizard::form2(), &wizard::form3(), &wizard::form4()};
    for (QWidget* page : pages) {
        ended.statuses.clear();
        page->show();
        EXPECT_TRUE(page->close());
        EXPECT_EQ(ended.statuses, std::vector<int>{0}) << page->objectName().toStdString();
    }
}

TEST_F(Lifecycle, ClosingTheTablePageWhileTheDatabasePageIsHiddenDoesNotShowItAgain) {
    wizard::startUp();
    wizard::form2().show();
    wizard::form1().hide();
    wizard::form2().close();
    EXPECT_EQ(ended.statuses, std::vector<int>{0});
    EXPECT_FALSE(wizard::form1().isVisible());
}

TEST_F(Lifecycle, APageIsCreatedOnceAndKeepsItsContentWhileHidden) {
    wizard::Form4& first = wizard::form4();
    first.Text1->setText("Orders2");
    first.hide();
    EXPECT_EQ(&wizard::form4(), &first);
    EXPECT_EQ(wizard::form4().Text1->text(), "Orders2");
}

} // namespace
