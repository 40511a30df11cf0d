// The desktop seam on Qt: filters and texts translated for Qt, and the real message box as the user sees it.
#include "app/qt_desktop.h"
#include "app/testing/test_support.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(QtDesktop, FileFiltersKeepTheirOrderAndDescriptions) {
    const std::string designed = "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
                                 "Microsoft 2007 Database (*.accdb)|*.accdb|";
    EXPECT_EQ(app::qtNameFilters(designed),
              (QStringList{"All Microsoft Databases (*.mdb,*.accdb) (*.*db)", "Microsoft Database (*.mdb) (*.mdb)",
                           "Microsoft 2007 Database (*.accdb) (*.accdb)"}));
    EXPECT_EQ(app::qtNameFilters("Pictures|*.png;*.jpg"), QStringList{"Pictures (*.png *.jpg)"});
    EXPECT_TRUE(app::qtNameFilters("").isEmpty());
    EXPECT_TRUE(app::qtNameFilters("No pattern||").isEmpty());
}

// Qt's file dialog keeps the folders it visited in a file of the toolkit's own; the program leaves that
// file as it found it: absent, or with its earlier content.
TEST(QtDesktop, TheFileDialogLeavesTheToolkitSettingsAsTheyWere) {
    app::testing::IsolatedSettings settings;
    const QString toolkit = QString::fromStdString(settings.folder()) + "/QtProject.conf";
    for (const QByteArray& before : {QByteArray(), QByteArray("[Other]\nkept=1\n")}) {
        if (!before.isEmpty()) {
            QFile file(toolkit);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(before);
        }
        QTimer::singleShot(0, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        app::QtDesktop desktop;
        app::FileDialogRequest request;
        request.title = "Select Access Database";
        EXPECT_EQ(desktop.openFileDialog(request), "");
        QFile file(toolkit);
        if (before.isEmpty()) {
            EXPECT_FALSE(file.exists());
        } else {
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), before);
        }
    }
}

TEST(QtDesktop, LineBreaksOfEveryKindBecomeLines) {
    EXPECT_EQ(app::displayText("a\r\nb\r\rc"), "a\nb\n\nc");
    EXPECT_EQ(app::displayText("\r\nx"), "\nx");
}

// What the box showed while it was open.
struct OpenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

TEST(QtDesktop, TheErrorBoxIsAWarningWithOneOk) {
    app::QtDesktop desktop;
    OpenBox seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(desktop.messageBox("gone\r\nin X.Y at line 100\r\rPlease", "Application Error", app::Buttons::Ok,
                                 app::Icon::Warning),
              app::Answer::Ok);
    EXPECT_EQ(seen.title, "Application Error");
    EXPECT_EQ(seen.text, "gone\nin X.Y at line 100\n\nPlease");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST(QtDesktop, AYesNoQuestionHasNoIconAndAnswersWhatWasPressed) {
    app::QtDesktop desktop;
    for (auto press : {QMessageBox::Yes, QMessageBox::No}) {
        OpenBox seen;
        QTimer::singleShot(0, [&seen, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
            box->button(press)->click();
        });
        const app::Answer answer = desktop.messageBox("Open it?", "Rowsifter", app::Buttons::YesNo, app::Icon::None);
        EXPECT_EQ(answer, press == QMessageBox::Yes ? app::Answer::Yes : app::Answer::No);
        EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
        EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(seen.title, "Rowsifter");
    }
}

TEST(QtDesktop, RandomFractionsLieInTheHalfOpenUnitInterval) {
    app::QtDesktop desktop;
    for (int i = 0; i < 100; ++i) {
        const double f = desktop.randomFraction();
        EXPECT_GE(f, 0.0);
        EXPECT_LT(f, 1.0);
    }
}

} // namespace
