// Start-up of the program: the database page's load routine step by step, the settings it reads and
// writes, the provider check that can end the program, the promotion and the application title.
#include "core/error_report.h"
#include "app/program.h"
#include "app/provider_check.h"
#include "app/settings_store.h"
#include "db/internal.h"
#include "window_fixture.h"
#include "wizard/form1.h"
#include "wizard/form2.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <stdexcept>

namespace {

using app_test::WindowTest;

class StartUp : public WindowTest {};

TEST_F(StartUp, FirstRunShowsTheEmptyDatabasePageWithoutAnyMessage) {
    wizard::startUp();
    wizard::Form1& page = wizard::form1();
    EXPECT_TRUE(page.isVisible());
    EXPECT_EQ(page.Text1->text(), "");
    EXPECT_EQ(page.Text2->text(), "");
    EXPECT_EQ(page.windowTitle(), "Rowsifter");
    EXPECT_FALSE(page.windowIcon().isNull());
    EXPECT_EQ(app::applicationTitle(), "Rowsifter");
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(desktop.draws, 1) << "the promotion draws once per start";
    EXPECT_TRUE(desktop.urls.empty());
    EXPECT_FALSE(wizard::isLoaded(2));
    EXPECT_TRUE(ended.statuses.empty());
}

TEST_F(StartUp, ARememberedPathWhoseFileIsGoneIsShownWithoutAMessage) {
    const std::string gone = folder.path() + "/deleted.accdb";
    app::SettingsStore::save(app::kDatabaseKey, gone);
    app::SettingsStore::save(app::kPasswordKey, "pw; with=odd \"chars\"");
    wizard::startUp();
    wizard::Form1& page = wizard::form1();
    EXPECT_TRUE(page.isVisible());
    EXPECT_EQ(page.Text1->text().toStdString(), gone);
    EXPECT_EQ(page.Text2->text().toStdString(), "pw; with=odd \"chars\"");
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_FALSE(wizard::isLoaded(2));
}

TEST_F(StartUp, ARememberedDatabaseThatExistsStartsOnTheTablePage) {
    const std::string path = folder.path() + "/shop.mdb";
    db::internal::createDatabase(path, "",
                                 "CREATE TABLE Customers(Name TEXT); CREATE TABLE Orders(Id INTEGER, Item TEXT);");
    app::SettingsStore::save(app::kDatabaseKey, path);
    wizard::startUp();
    ASSERT_TRUE(wizard::isLoaded(2));
    EXPECT_FALSE(wizard::form1().isVisible());
    EXPECT_TRUE(wizard::form2().isVisible());
    QStringList listed;
    for (int i = 0; i < wizard::form2().List1->count(); ++i)
        listed << wizard::form2().List1->item(i)->text();
    EXPECT_EQ(listed, (QStringList{"Customers", "Orders"}));
    EXPECT_TRUE(desktop.reports().empty());

    wizard::form2().PushButton2->click(); // "< Back" brings the hidden database page back
    EXPECT_TRUE(wizard::form1().isVisible());
    EXPECT_FALSE(wizard::form2().isVisible());
    EXPECT_EQ(wizard::form1().Text1->text().toStdString(), path);
}

TEST_F(StartUp, ARememberedDatabaseThatCannotBeOpenedIsReportedAndTheDatabasePageShown) {
    const std::string path = folder.path() + "/locked.accdb";
    db::internal::createDatabase(path, "right", "CREATE TABLE T(A TEXT);");
    app::SettingsStore::save(app::kDatabaseKey, path);
    app::SettingsStore::save(app::kPasswordKey, "wrong");
    wizard::startUp();
    const auto reports = desktop.reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].location, "in Quarnelby2021/08/31.Form1.PushButton3_Click ");
    EXPECT_EQ(reports[0].statement, 100);
    EXPECT_NE(reports[0].description.find("locked.accdb"), std::string::npos) << reports[0].description;
    EXPECT_TRUE(wizard::form1().isVisible());
    EXPECT_FALSE(wizard::isLoaded(2) && wizard::form2().isVisible());
}

TEST_F(StartUp, AMissingProviderEndsTheProgramAfterItsOwnMessageOnly) {
    app::SettingsStore::save(app::kDatabaseKey, "/data/kept.mdb");
    db::forceProviderFailureForTesting(true);
    // What the load had done when the question came up: statements 106, 128 and 130 come before 136.
    QString titleMeanwhile, pathMeanwhile;
    desktop.whileBoxOpen = [&](const app::testing::MessageBoxCall&) {
        titleMeanwhile = wizard::form1().windowTitle();
        pathMeanwhile = wizard::form1().Text1->text();
    };
    wizard::startUp();
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text, app::providerMissingMessage());
    EXPECT_EQ(desktop.boxes[0].title, "Rowsifter");
    EXPECT_EQ(desktop.boxes[0].buttons, app::Buttons::YesNo);
    EXPECT_EQ(desktop.boxes[0].icon, app::Icon::None);
    EXPECT_EQ(titleMeanwhile, "Rowsifter");
    EXPECT_EQ(pathMeanwhile, "/data/kept.mdb");
    EXPECT_EQ(ended.statuses, std::vector<int>{1});
    EXPECT_FALSE(wizard::form1().isVisible());
    EXPECT_TRUE(desktop.urls.empty()) << "the fake answers No";
}

TEST_F(StartUp, FailingStatementsAreReportedInOrderAndTheLoadGoesOn) {
    // The draw fails (104) and the pointer file is no picture (126); everything else still happens.
    struct FailingDraw : app::testing::FakeDesktop {
        double randomFraction() override { throw std::runtime_error("no random numbers today"); }
    } failing;
    folder.write("HAND-M.CUR", "this is not a cursor");
    app::SettingsStore::save(app::kPasswordKey, "secret");
    wizard::startUp();
    const auto reports = failing.reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].statement, 104);
    EXPECT_EQ(reports[0].description, "no random numbers today");
    EXPECT_EQ(reports[1].statement, 126);
    EXPECT_NE(reports[1].description.find(folder.path() + "/HAND-M.CUR"), std::string::npos) << reports[1].description;
    for (const auto& r : reports)
        EXPECT_EQ(r.location, "in Quarnelby2021/08/31.Form1.Form_Load ");
    EXPECT_EQ(wizard::form1().Text2->text(), "secret");
    EXPECT_EQ(wizard::form1().windowTitle(), "Rowsifter");
    EXPECT_TRUE(wizard::form1().isVisible());
}

TEST(ProviderCheck, ReturnsTrueSilentlyWhenTheLibraryWorks) {
    app::testing::FakeDesktop desktop;
    EXPECT_TRUE(app::IsProviderInstalled());
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST(ProviderCheck, YesOpensBothDownloadPagesThe2010OneFirst) {
    app::testing::FakeDesktop desktop;
    desktop.answers = {app::Answer::Yes};
    db::forceProviderFailureForTesting(true);
    const bool installed = app::IsProviderInstalled();
    db::forceProviderFailureForTesting(false);
    EXPECT_FALSE(installed);
    EXPECT_EQ(desktop.urls,
              (std::vector<std::string>{"https://www.microsoft.com/en-us/download/details.aspx?id=13255",
                                        "https://www.microsoft.com/en-us/download/details.aspx?id=54920"}));
}

TEST(ProviderCheck, MessageParagraphsAreSeparatedByTwoLineBreaks) {
    const std::string text = app::providerMissingMessage();
    EXPECT_EQ(text.rfind("Error #3706: Provider cannot be found. It may not be properly installed.\r\n\r\n"
                         "You are getting this error because:\r\n\r\n1. Microsoft Access",
                         0),
              0u);
    const std::string end = "this problem.\r\n\r\nWould you like me to open the Microsoft site now so you can do "
                            "this?\r\n\r\n(If you have any further questions please email a screenshot of this "
                            "error message to " +
                            core::supportEmail() + ")";
    ASSERT_GE(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

TEST(Promotion, OpensTheHomePageOnlyWhenTheNumberIsSeven) {
    struct Case {
        double fraction;
        int number;
        bool opens;
    };
    const Case cases[] = {{0.0, 1, false},   {0.0599, 6, false}, {0.06, 7, true},
                          {0.0699, 7, true}, {0.07, 8, false},   {0.999999, 100, false}};
    for (const Case& c : cases) {
        app::testing::FakeDesktop desktop;
        desktop.fractions = {c.fraction};
        EXPECT_EQ(app::runPromotion(desktop, "https://rowsifter.example/"), c.number) << c.fraction;
        EXPECT_EQ(desktop.urls.size(), c.opens ? 1u : 0u) << c.fraction;
    }
}

TEST(Promotion, AnEmptyAddressOpensNothing) {
    app::testing::FakeDesktop desktop;
    desktop.fractions = {0.065};
    EXPECT_EQ(app::runPromotion(desktop, ""), 7);
    EXPECT_TRUE(desktop.urls.empty());
}

TEST(ApplicationTitle, CutsAtTheLastBlankUntilFortyCharactersOrFewer) {
    const std::string forty = "Rowsifter Duplicate Row Remover Pro 2024"; // exactly 40 characters
    ASSERT_EQ(forty.size(), 40u);
    struct Case {
        std::string name, title;
    };
    const Case cases[] = {
        {"Rowsifter Pro", "Rowsifter"},                 // short names still lose their last word
        {forty, "Rowsifter Duplicate Row Remover Pro"}, // at least one cut, even at 40
        {forty + " Edition", forty},                    // a result of exactly 40 ends the cutting
        {"Rowsifter Duplicate Row Remover Professional Edition Deluxe", "Rowsifter Duplicate Row Remover"},
        {"Rowsifter  Pro", "Rowsifter "}, // only the last blank is cut at
        {"Rowsifter ", "Rowsifter"},
        {"Rowsifter", "Rowsifter"}, // no blank: the name stays
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::titleFromProductName(c.name), c.title) << '"' << c.name << '"';
}

class Settings : public WindowTest {};

TEST_F(Settings, ValuesComeBackExactlyAsSaved) {
    const std::string values[] = {"C:\\Data\\Orders.mdb", "  blanks around  ", "a;b=c",      "@Variant(1)",
                                  "ünïcødé 中",           "line\nbreak",       "\"quoted\"", ""};
    for (const std::string& v : values) {
        app::SettingsStore::save(app::kPasswordKey, v);
        EXPECT_EQ(app::SettingsStore::read(app::kPasswordKey, "default"), v);
    }
    EXPECT_EQ(app::SettingsStore::read("NeverWritten", "fallback"), "fallback");
}

TEST_F(Settings, TheFileIsReadableByItsOwnerOnly) {
    app::SettingsStore::save(app::kDatabaseKey, "/data/a.mdb");
    const QString path = QString::fromStdString(app::SettingsStore::filePath());
    ASSERT_TRUE(path.startsWith(QString::fromStdString(settings.folder()))) << path.toStdString();
    EXPECT_TRUE(path.endsWith("Brevanton/Rowsifter.conf")) << path.toStdString();
    EXPECT_EQ(QFile::permissions(path) & 0x0777, QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(QFile::permissions(QFileInfo(path).absolutePath()) & 0x0777,
              QFile::ReadUser | QFile::WriteUser | QFile::ExeUser)
        << "the folder made for the file";
    app::SettingsStore::save(app::kPasswordKey, "secret");
    EXPECT_EQ(QFile::permissions(path) & 0x0777, QFile::ReadUser | QFile::WriteUser);
}

// A settings file that cannot be written (here its folder is taken by a file) is said once, not at every
// keystroke, and typing goes on.
TEST_F(Settings, AFileThatCannotBeWrittenIsReportedOnce) {
    QFile blocker(QString::fromStdString(settings.folder()) + "/Brevanton");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    wizard::Form1& page = wizard::form1();
    page.show();
    page.Text1->setFocus();
    QTest::keyClicks(page.Text1, "/d/x.mdb");
    EXPECT_EQ(page.Text1->text(), "/d/x.mdb");
    const auto boxes = desktop.boxes;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("Rowsifter.conf"), std::string::npos) << boxes[0].text;
}

TEST_F(Settings, EveryChangeOfTheBoxesIsStoredAtOnce) {
    wizard::Form1& page = wizard::form1();
    page.show();
    page.Text1->setFocus();
    const QString typed = "/d/x.mdb";
    for (int i = 0; i < typed.size(); ++i) {
        QTest::keyClick(page.Text1, typed[i].toLatin1());
        EXPECT_EQ(app::SettingsStore::read(app::kDatabaseKey), typed.left(i + 1).toStdString());
    }
    page.Text2->setText("pw");
    EXPECT_EQ(app::SettingsStore::read(app::kPasswordKey), "pw");
    page.Text2->clear();
    EXPECT_EQ(app::SettingsStore::read(app::kPasswordKey, "absent"), "");
}

} // namespace
