// The four windows against their designed layouts: every control's kind, caption, place, size, frame,
// font and keyboard order; the window size, border and buttons; the password mask.
#include "app/layouts.h"
#include "window_fixture.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <map>

namespace {

using app_test::WindowTest;

enum Kind { Button, Frame, Label, TextBox, ListBox, Grid, Progress };

struct Control {
    const char* name;
    Kind kind;
    const char* caption;
    const char* frame; // nullptr: placed on the window
    int left, top, width, height, tab;
};

struct Page {
    int number;
    int width, height;
    std::vector<Control> controls;
};

const std::vector<Page>& designedPages() {
    static const std::vector<Page> pages = {
        {1,
         8040,
         2580,
         {
             {"PushButton4", Button, "Help", nullptr, 120, 120, 7800, 405, 2},
             {"Frame1", Frame, "Access Database", nullptr, 120, 600, 7800, 1335, 3},
             {"Label5", Label, "MDB or ACCDB File:", "Frame1", 240, 345, 1935, 255, 6},
             {"Text1", TextBox, "", "Frame1", 2280, 300, 4575, 345, 0},
             {"PushButton5", Button, "...", "Frame1", 6960, 300, 570, 345, 5},
             {"lblPassword", Label, "Password (if required):", "Frame1", 240, 840, 1950, 225, 7},
             {"Text2", TextBox, "", "Frame1", 2280, 800, 5265, 345, 4},
             {"PushButton1", Button, "Load Sample/Example Database", nullptr, 120, 2055, 3840, 405, 8},
             {"PushButton3", Button, "Next >", nullptr, 4080, 2055, 3840, 405, 1},
         }},
        {2,
         5880,
         2385,
         {
             {"Frame1", Frame, "Which table do you want to search for duplicate field values?", nullptr, 120, 120, 5640,
              2175, 0},
             {"List1", ListBox, "", "Frame1", 240, 300, 5160, 1185, 1},
             {"PushButton2", Button, "< Back", "Frame1", 240, 1600, 2535, 405, 2},
             {"PushButton3", Button, "Next >", "Frame1", 2880, 1600, 2535, 405, 3},
         }},
        {3,
         5880,
         5430,
         {
             {"PushButton4", Button, "Help", nullptr, 120, 120, 5640, 405, 2},
             {"Frame2", Frame, "Preview", nullptr, 120, 600, 5640, 1815, 4},
             {"DataGrid1", Grid, "", "Frame2", 240, 300, 5160, 1365, 5},
             {"Frame1", Frame, "Which field(s) contain duplicate information?", nullptr, 120, 2520, 5640, 2295, 3},
             {"List1", ListBox, "", "Frame1", 240, 300, 2295, 1860, 7},
             {"PushButton5", Button, ">", "Frame1", 2610, 300, 420, 405, 8},
             {"PushButton6", Button, ">>", "Frame1", 2610, 780, 420, 405, 9},
             {"PushButton7", Button, "<", "Frame1", 2610, 1260, 420, 405, 10},
             {"PushButton8", Button, "<<", "Frame1", 2610, 1740, 420, 405, 11},
             {"List2", ListBox, "", "Frame1", 3120, 300, 2295, 1860, 6},
             {"PushButton2", Button, "< Back", nullptr, 120, 4920, 2760, 405, 0},
             {"PushButton3", Button, "Next >", nullptr, 3000, 4920, 2760, 405, 1},
         }},
        {4,
         5880,
         4575,
         {
             {"PushButton1", Button, "Help", nullptr, 120, 120, 5655, 405, 6},
             {"Frame2", Frame, "Create New Table With Duplicate Records Removed", nullptr, 120, 600, 5640, 800, 4},
             {"Text1", TextBox, nullptr, "Frame2", 240, 300, 5160, 345, 5}, // text set at load
             {"PushButton2", Button, "< Back", nullptr, 120, 1500, 2775, 405, 2},
             {"PushButton4", Button, "Start Creating", nullptr, 3000, 1500, 2760, 405, 3},
             {"ProgressBar1", Progress, "", nullptr, 120, 1980, 5640, 375, 1},
             {"DataGrid1", Grid, "", nullptr, 120, 2460, 5640, 2055, 0},
         }},
    };
    return pages;
}

QWidget& page(int number) {
    switch (number) {
    case 1:
        return wizard::form1();
    case 2:
        return wizard::form2();
    case 3:
        return wizard::form3();
    default:
        return wizard::form4();
    }
}

const char* className(Kind kind) {
    switch (kind) {
    case Button:
        return "QPushButton";
    case Frame:
        return "QGroupBox";
    case Label:
        return "QLabel";
    case TextBox:
        return "QLineEdit";
    case ListBox:
        return "QListWidget";
    case Grid:
        return "QTableView";
    case Progress:
        return "QProgressBar";
    }
    return "";
}

QString captionOf(QWidget* w) {
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->text();
    if (auto* f = qobject_cast<QGroupBox*>(w))
        return f->title();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* t = qobject_cast<QLineEdit*>(w))
        return t->text();
    return {};
}

class Layout : public WindowTest {};

TEST(Twips, FifteenToAPixelRoundedToTheNearest) {
    EXPECT_EQ(app::twipsToPixels(8040), 536);
    EXPECT_EQ(app::twipsToPixels(15), 1);
    EXPECT_EQ(app::twipsToPixels(7), 0);
    EXPECT_EQ(app::twipsToPixels(8), 1);
    EXPECT_EQ(app::twipsToPixels(800), 53); // 53.3
    EXPECT_EQ(app::twipsToPixels(1335), 89);
}

TEST_F(Layout, EveryControlIsWhereItWasDesigned) {
    for (const Page& designed : designedPages()) {
        QWidget& window = page(designed.number);
        SCOPED_TRACE("Form" + std::to_string(designed.number));
        EXPECT_EQ(window.objectName(), QString("Form%1").arg(designed.number));
        for (const Control& c : designed.controls) {
            SCOPED_TRACE(c.name);
            auto* w = app_test::control(window, c.name);
            ASSERT_NE(w, nullptr);
            EXPECT_TRUE(w->inherits(className(c.kind))) << w->metaObject()->className();
            EXPECT_EQ(w->parentWidget()->objectName(), c.frame ? QString(c.frame) : window.objectName());
            EXPECT_EQ(w->geometry(), app::twipsRect(c.left, c.top, c.width, c.height));
            if (c.caption) {
                EXPECT_EQ(captionOf(w), QString::fromUtf8(c.caption));
            }
            EXPECT_TRUE(w->isEnabled());
            EXPECT_FALSE(w->isHidden());
            if (c.kind != Progress) {
                const QFont f = w->font();
                EXPECT_EQ(f.family(), "Arial");
                EXPECT_TRUE(f.bold());
                EXPECT_DOUBLE_EQ(f.pointSizeF(), c.kind == Button ? 11.25 : 9.0);
            }
        }
    }
}

TEST_F(Layout, WindowsHaveTheirFixedSizeAndOnlyMinimiseAndClose) {
    for (const Page& designed : designedPages()) {
        QWidget& window = page(designed.number);
        SCOPED_TRACE("Form" + std::to_string(designed.number));
        const QSize size(app::twipsToPixels(designed.width), app::twipsToPixels(designed.height));
        EXPECT_EQ(window.size(), size);
        EXPECT_EQ(window.minimumSize(), size);
        EXPECT_EQ(window.maximumSize(), size);
        const Qt::WindowFlags flags = window.windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(window.font().bold(), designed.number != 1) << "the database page's own font is regular";
    }
}

TEST_F(Layout, TheKeyboardVisitsTheControlsInTheDesignedOrder) {
    for (const Page& designed : designedPages()) {
        QWidget& window = page(designed.number);
        SCOPED_TRACE("Form" + std::to_string(designed.number));
        std::map<int, QString> byTab;
        for (const Control& c : designed.controls)
            if (QWidget* w = app_test::control(window, c.name); w && (w->focusPolicy() & Qt::TabFocus))
                byTab[c.tab] = c.name;
        QStringList expected;
        for (const auto& [tab, name] : byTab)
            expected << name;

        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QWidget* focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            visited << focused->objectName();
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        EXPECT_EQ(visited, expected);
        window.hide();
    }
}

TEST_F(Layout, ThePasswordBoxShowsOneStarPerCharacter) {
    QLineEdit* box = wizard::form1().Text2;
    for (const QString& typed : {QString("secret"), QString("pässwörd ß"), QString("中文 密码"), QString("a b\tc")}) {
        box->setText(typed);
        EXPECT_EQ(box->displayText(), QString(typed.size(), '*')) << typed.toStdString();
        EXPECT_EQ(box->text(), typed);
    }
    EXPECT_EQ(wizard::form1().Text1->echoMode(), QLineEdit::Normal);
}

TEST_F(Layout, APageIsCentredWhenFirstShownAndStaysWhereItIsMovedTo) {
    QWidget& window = wizard::form3();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint centre = window.screen()->availableGeometry().center();
    EXPECT_LE((window.frameGeometry().center() - centre).manhattanLength(), 2);
    window.move(window.pos() + QPoint(40, 30));
    const QPoint moved = window.pos();
    window.hide();
    window.show();
    EXPECT_EQ(window.pos(), moved);
}

TEST_F(Layout, TheProgressBarStartsEmptyOverZeroToHundred) {
    QProgressBar* bar = wizard::form4().ProgressBar1;
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(Layout, ListsAllowOneSelectionAndKeepTheirOrder) {
    for (QListWidget* list : {wizard::form2().List1, wizard::form3().List1, wizard::form3().List2}) {
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_FALSE(list->isSortingEnabled());
    }
}

} // namespace
