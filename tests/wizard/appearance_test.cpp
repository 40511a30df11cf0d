// The pages' look: design white and the system face colour, the skin of the database page, the icon,
// the hand pointer file, and the pointer rules over buttons and surfaces.
#include "app/appearance.h"
#include "app/pointer.h"
#include "app/program.h"
#include "app/program_folder.h"
#include "window_fixture.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

namespace {

using app_test::moveOver;
using app_test::WindowTest;

QColor background(const QWidget* w) {
    return w->palette().color(QPalette::Window);
}
QColor face() {
    return QApplication::palette().color(QPalette::Button);
}

QByteArray builtCursorFile() {
    QFile f(QStringLiteral(ROWSIFTER_PROGRAM_DIR "/HAND-M.CUR"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Appearance : public WindowTest {
protected:
    void layCursorFile() { folder.write("HAND-M.CUR", builtCursorFile().toStdString()); }
};

TEST(Colours, ValuesNameAColourOrASystemColourByIndex) {
    EXPECT_EQ(app::colourFromValue(0x00FFFFFF), QColor(255, 255, 255));
    EXPECT_EQ(app::colourFromValue(0x00336699), QColor(0x99, 0x66, 0x33)) << "0x00BBGGRR";
    EXPECT_EQ(app::colourFromValue(0x8000000F), QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(app::colourFromValue(0x80000012), QApplication::palette().color(QPalette::ButtonText));
    EXPECT_EQ(app::colourFromValue(0x80000005), QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(app::colourFromValue(0x80000008), QApplication::palette().color(QPalette::Text));
}

TEST_F(Appearance, WithoutASkinTheDatabasePageStaysWhiteAndTheOthersTakeTheFaceColour) {
    ASSERT_NE(face(), QColor(Qt::white)) << "the test needs a face colour that is not white";
    wizard::Form1& f1 = wizard::form1();
    for (const QWidget* w : {static_cast<QWidget*>(&f1), static_cast<QWidget*>(f1.Frame1),
                             static_cast<QWidget*>(f1.Label5), static_cast<QWidget*>(f1.lblPassword)})
        EXPECT_EQ(background(w), QColor(Qt::white)) << w->objectName().toStdString();
    EXPECT_TRUE(f1.styleSheet().isEmpty());
    for (QWidget* page : {static_cast<QWidget*>(&wizard::form2()), static_cast<QWidget*>(&wizard::form3()),
                          static_cast<QWidget*>(&wizard::form4())}) {
        EXPECT_EQ(background(page), face()) << page->objectName().toStdString();
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w)) {
                EXPECT_EQ(background(w), face()) << w->objectName().toStdString();
            }
        }
    }
    // Push buttons keep their designed white; text and list boxes keep the system window colour.
    EXPECT_EQ(wizard::form2().PushButton3->palette().color(QPalette::Button), QColor(Qt::white));
    // ...and a disabled one greys its caption as the system does, so held-back buttons look held back.
    const QPalette button = wizard::form3().PushButton3->palette();
    EXPECT_EQ(button.color(QPalette::Disabled, QPalette::ButtonText),
              QApplication::palette().color(QPalette::Disabled, QPalette::ButtonText));
    EXPECT_NE(button.color(QPalette::Disabled, QPalette::ButtonText),
              button.color(QPalette::Active, QPalette::ButtonText));
    EXPECT_EQ(wizard::form3().List1->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_TRUE(desktop.reports().empty());
}

TEST_F(Appearance, TheSkinFileRecoloursTheDatabasePageAndStylesIt) {
    const std::string sheet = "QPushButton { color: rgb(1, 2, 3); }";
    folder.write("x/o.cjs", sheet);
    wizard::Form1& f1 = wizard::form1();
    for (const QWidget* w : {static_cast<QWidget*>(&f1), static_cast<QWidget*>(f1.Frame1),
                             static_cast<QWidget*>(f1.Label5), static_cast<QWidget*>(f1.lblPassword)})
        EXPECT_EQ(background(w), face()) << w->objectName().toStdString();
    EXPECT_EQ(f1.Text1->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(f1.styleSheet().toStdString(), sheet);
    f1.show();
    EXPECT_EQ(f1.PushButton3->palette().color(QPalette::ButtonText), QColor(1, 2, 3)) << "the sheet is in force";
    EXPECT_TRUE(wizard::form2().styleSheet().isEmpty()) << "only the database page is skinned";
    f1.Text2->setText("pw");
    EXPECT_EQ(f1.Text2->displayText(), "**") << "the skin keeps the password mask";
    EXPECT_TRUE(desktop.reports().empty());
}

TEST_F(Appearance, AFolderNamedLikeTheSkinIsNoSkin) {
    folder.write("x/o.cjs/inside", "");
    wizard::Form1& f1 = wizard::form1();
    EXPECT_EQ(background(&f1), QColor(Qt::white));
    EXPECT_TRUE(desktop.reports().empty());
}

// The program folder's files lie beside the executable in a build folder and under share/rowsifter in an
// installed copy; a skin may also be the user's own, which the installed one does not override.
TEST_F(Appearance, ProgramFolderFilesAreFoundBesideTheProgramOrWhereTheInstalledCopyKeepsThem) {
    enum Place { Beside, User, Installed };
    struct Case {
        const char* layout;
        std::vector<Place> skins; // a skin in each of these places, each of its own colour
        Place cursor;
        Place used; // whose skin is in force
    };
    const std::vector<Case> cases = {
        {"build folder", {Beside}, Beside, Beside},
        {"installed", {Installed}, Installed, Installed},
        {"installed, with the user's own skin", {User, Installed}, Installed, User},
        {"build folder, and a skin of the user's", {Beside, User}, Beside, Beside},
    };
    const QByteArray cursor = builtCursorFile();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.layout);
        wizard::unloadAll();
        // Each case a fresh tree: <case>/usr/bin holds the executable, <case>/data is the user's data home.
        const QString top = QString::fromStdString(folder.path()) + QStringLiteral("/case%1").arg(i);
        folder.runFrom(QStringLiteral("case%1/usr/bin").arg(i).toStdString());
        qputenv("XDG_DATA_HOME", QFile::encodeName(top + "/data"));
        const auto placeFolder = [](Place place) {
            return QString::fromStdString(place == Beside ? app::programFolder()
                                          : place == User ? app::userDataFolder()
                                                          : app::installedAssetFolder());
        };
        ASSERT_TRUE(placeFolder(Installed).startsWith(top)) << placeFolder(Installed).toStdString();
        const auto lay = [](const QString& path, const QByteArray& content) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(content) == content.size()) << path.toStdString();
        };
        for (Place place : c.skins)
            lay(placeFolder(place) + "/x/o.cjs",
                QStringLiteral("QLabel { color: rgb(%1, 0, 0); }").arg(place + 1).toUtf8());
        lay(placeFolder(c.cursor) + "/HAND-M.CUR", cursor);

        wizard::Form1& f1 = wizard::form1();
        EXPECT_EQ(f1.styleSheet(), QStringLiteral("QLabel { color: rgb(%1, 0, 0); }").arg(c.used + 1));
        EXPECT_TRUE(app::hasCustomPointerImage(&f1));
        EXPECT_TRUE(app::hasCustomPointerImage(&wizard::form3()));
        EXPECT_TRUE(desktop.reports().empty());
    }
}

TEST_F(Appearance, EveryPageCarriesTheProgramIconAndTitle) {
    for (QWidget* page : {static_cast<QWidget*>(&wizard::form1()), static_cast<QWidget*>(&wizard::form2()),
                          static_cast<QWidget*>(&wizard::form3()), static_cast<QWidget*>(&wizard::form4())}) {
        EXPECT_EQ(page->windowTitle(), "Rowsifter");
        EXPECT_EQ(page->windowIcon().availableSizes().size(), 4u) << page->objectName().toStdString();
    }
}

TEST(Icon, HoldsFourSizesTheSmallestWithoutTransparency) {
    const QList<QSize> sizes = app::mainIcon().availableSizes();
    for (int s : {32, 48, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
    EXPECT_FALSE(QImage(":/icons/rowsifter-32.png").hasAlphaChannel());
    for (int s : {48, 128, 256})
        EXPECT_TRUE(QImage(QString(":/icons/rowsifter-%1.png").arg(s)).hasAlphaChannel()) << s;
}

TEST(HandCursorFile, IsAThirtyTwoPixelWindowsCursorWithItsHotspotAtTheFingertip) {
    const QByteArray bytes = builtCursorFile();
    ASSERT_GE(bytes.size(), 22);
    EXPECT_EQ(bytes.left(6), QByteArray("\0\0\2\0\1\0", 6)) << "a cursor file with one image";
    EXPECT_EQ(static_cast<unsigned char>(bytes[6]), 32u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[7]), 32u);

    const QCursor cursor = app::loadPointerImage(ROWSIFTER_PROGRAM_DIR "/HAND-M.CUR");
    const QImage image = cursor.pixmap().toImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    const QPoint hot = cursor.hotSpot();
    EXPECT_GT(qAlpha(image.pixel(hot)), 0) << "the hotspot is on the hand";
    // The fingertip is the top of the hand: nothing of the image lies above the hotspot's row.
    for (int y = 0; y < hot.y(); ++y)
        for (int x = 0; x < 32; ++x)
            EXPECT_EQ(qAlpha(image.pixel(x, y)), 0) << x << "," << y;
    int opaque = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            opaque += qAlpha(image.pixel(x, y)) > 0;
    EXPECT_GT(opaque, 200) << "a hand, not a dot";
}

TEST_F(Appearance, AnUnreadablePointerFileIsReportedAndTheLoadGoesOn) {
    folder.write("HAND-M.CUR", "GIF89a? no");
    wizard::Form3& f3 = wizard::form3();
    const auto reports = desktop.reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].location, "in Quarnelby2021/08/31.Form3.Form_Load ");
    EXPECT_EQ(reports[0].statement, 108);
    EXPECT_FALSE(app::hasCustomPointerImage(&f3));
    EXPECT_EQ(f3.windowTitle(), "Rowsifter") << "statement 110 still ran";
}

// Which rule each control carries: the hand over push buttons, the default over the window and its
// surfaces, and nothing over labels, the progress bar and the output page's grid.
enum Rule { Hand, Default, None };
struct Hover {
    int page;
    const char* control; // "" is the window itself
    Rule rule;
};

const Hover kHovers[] = {
    {1, "PushButton1", Hand}, {1, "PushButton3", Hand}, {1, "PushButton4", Hand},  {1, "PushButton5", Hand},
    {1, "", Default},         {1, "Frame1", Default},   {1, "Text1", Default},     {1, "Text2", Default},
    {1, "Label5", None},      {1, "lblPassword", None}, {2, "PushButton2", Hand},  {2, "PushButton3", Hand},
    {2, "", Default},         {2, "Frame1", Default},   {2, "List1", Default},     {3, "PushButton2", Hand},
    {3, "PushButton3", Hand}, {3, "PushButton4", Hand}, {3, "PushButton5", Hand},  {3, "PushButton6", Hand},
    {3, "PushButton7", Hand}, {3, "PushButton8", Hand}, {3, "", Default},          {3, "Frame1", Default},
    {3, "Frame2", Default},   {3, "List1", Default},    {3, "List2", Default},     {3, "DataGrid1", Default},
    {4, "PushButton1", Hand}, {4, "PushButton2", Hand}, {4, "PushButton4", Hand},  {4, "", Default},
    {4, "Frame2", Default},   {4, "Text1", Default},    {4, "ProgressBar1", None}, {4, "DataGrid1", None},
};

QWidget& pageNumber(int n) {
    if (n == 1)
        return wizard::form1();
    if (n == 2)
        return wizard::form2();
    if (n == 3)
        return wizard::form3();
    return wizard::form4();
}

// Where the mouse really is over a control: list boxes and grids get it in their inner part.
QWidget* surface(QWidget* control) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        return area->viewport();
    return control;
}

TEST_F(Appearance, EachControlSwitchesThePointerByItsOwnRule) {
    layCursorFile();
    for (const Hover& h : kHovers) {
        QWidget& window = pageNumber(h.page);
        QWidget* control = *h.control ? app_test::control(window, h.control) : &window;
        ASSERT_NE(control, nullptr) << h.control;
        SCOPED_TRACE(QString("Form%1.%2").arg(h.page).arg(h.control).toStdString());
        for (int before : {core::PointerDefault, core::PointerCustom}) {
            app::setPointer(&window, before);
            moveOver(surface(control));
            const int expected = h.rule == Hand ? core::PointerCustom : h.rule == Default ? core::PointerDefault : before;
            EXPECT_EQ(app::pointerStyle(&window), expected) << "style before: " << before;
        }
    }
}

// The grid's header row and row numbers are part of the grid: the default returns there as over its
// cells. A greyed push button cannot be clicked, so it shows no hand, whether it was greyed before the
// mouse came or while the hand showed.
TEST_F(Appearance, GridHeadersShowTheDefaultAndGreyedButtonsNoHand) {
    layCursorFile();
    wizard::Form3& f3 = wizard::form3();
    for (QHeaderView* header : {f3.DataGrid1->horizontalHeader(), f3.DataGrid1->verticalHeader()}) {
        app::setPointer(&f3, core::PointerCustom);
        moveOver(header->viewport());
        EXPECT_EQ(app::pointerStyle(&f3), core::PointerDefault) << header->orientation();
    }
    f3.PushButton5->setEnabled(false);
    moveOver(f3.PushButton5);
    EXPECT_EQ(app::pointerStyle(&f3), core::PointerDefault);
    moveOver(f3.PushButton7);
    ASSERT_EQ(app::pointerStyle(&f3), core::PointerCustom);
    EXPECT_EQ(app::shownPointerShape(f3.PushButton5), Qt::ArrowCursor);
    EXPECT_EQ(app::shownPointerShape(f3.PushButton7), Qt::BitmapCursor);
    f3.PushButton7->setEnabled(false);
    EXPECT_EQ(app::shownPointerShape(f3.PushButton7), Qt::ArrowCursor);
    f3.PushButton5->setEnabled(true);
    EXPECT_EQ(app::shownPointerShape(f3.PushButton5), Qt::BitmapCursor);
}

TEST_F(Appearance, TheHandStaysOverALabelAndTheDefaultReturnsOverTheFrame) {
    layCursorFile();
    wizard::Form1& f1 = wizard::form1();
    ASSERT_TRUE(app::hasCustomPointerImage(&f1));
    moveOver(f1.PushButton5);
    EXPECT_EQ(app::shownPointerShape(f1.PushButton5), Qt::BitmapCursor);
    moveOver(f1.Label5);
    EXPECT_EQ(app::pointerStyle(&f1), core::PointerCustom);
    EXPECT_EQ(app::shownPointerShape(f1.Label5), Qt::BitmapCursor);
    moveOver(f1.Frame1);
    EXPECT_EQ(app::pointerStyle(&f1), core::PointerDefault);
    EXPECT_EQ(app::shownPointerShape(f1.Frame1), Qt::ArrowCursor);
    EXPECT_EQ(app::shownPointerShape(f1.Text1), Qt::IBeamCursor) << "text boxes keep their own pointer";
}

TEST_F(Appearance, WithoutThePointerFileTheHandRuleShowsTheOrdinaryArrow) {
    wizard::Form2& f2 = wizard::form2();
    ASSERT_FALSE(app::hasCustomPointerImage(&f2));
    moveOver(f2.PushButton3);
    EXPECT_EQ(app::pointerStyle(&f2), core::PointerCustom);
    EXPECT_EQ(app::shownPointerShape(f2.PushButton3), Qt::ArrowCursor);
}

TEST_F(Appearance, TheHourglassStaysOverButtonsAndSurfaces) {
    layCursorFile();
    wizard::Form3& f3 = wizard::form3();
    app::setPointer(&f3, core::PointerBusy);
    for (QWidget* w :
         {static_cast<QWidget*>(f3.PushButton5), static_cast<QWidget*>(f3.List1->viewport()),
          static_cast<QWidget*>(f3.Frame2), static_cast<QWidget*>(&f3), static_cast<QWidget*>(f3.PushButton3)}) {
        moveOver(w);
        EXPECT_EQ(app::pointerStyle(&f3), core::PointerBusy) << w->objectName().toStdString();
        EXPECT_EQ(app::shownPointerShape(w), Qt::WaitCursor) << w->objectName().toStdString();
    }
    app::setPointer(&f3, core::PointerDefault);
    EXPECT_EQ(app::shownPointerShape(f3.List2->viewport()), Qt::ArrowCursor);
    moveOver(f3.PushButton7);
    EXPECT_EQ(app::shownPointerShape(f3.PushButton7), Qt::BitmapCursor);
}

TEST_F(Appearance, TheTablePageLoadLeavesTheDefaultPointer) {
    wizard::Form2& f2 = wizard::form2();
    EXPECT_EQ(app::pointerStyle(&f2), core::PointerDefault);
    EXPECT_TRUE(f2.isEnabled());
}

} // namespace
