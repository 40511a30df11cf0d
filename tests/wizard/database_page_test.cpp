// The database page: the sample path, browsing, help texts of every page, and "Next >" with its silent
// no-go for a missing file, its report for a file that is no usable database, and the table list it fills.
#include "app/program.h"
#include "app/program_folder.h"
#include "app/settings_store.h"
#include "page_fixture.h"
#include "tests/support/test_support.h"
#include "wizard/catalogue_ui.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace {

using wizard_test::PageTest;

class DatabasePage : public PageTest {};

QByteArray contents(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(DatabasePage, SampleButtonPutsThePathBesideTheProgramAndStaysPut) {
    enterDatabase("", "secret");
    wizard::Form1& page = wizard::form1();
    press(page.PushButton1);
    const std::string expected = folder.path() + "/Samples/sample.mdb";
    EXPECT_EQ(page.Text1->text().toStdString(), expected);
    EXPECT_EQ(page.Text2->text(), "secret");
    EXPECT_EQ(app::SettingsStore::read(app::kDatabaseKey), expected);
    EXPECT_TRUE(page.isVisible());
    EXPECT_FALSE(wizard::isLoaded(2));
    // No sample there: "Next >" then does nothing and says nothing.
    press(page.PushButton3);
    EXPECT_TRUE(page.isVisible());
    EXPECT_FALSE(wizard::isLoaded(2));
    EXPECT_TRUE(desktop.boxes.empty());
}

// An installed copy's sample belongs to nobody in particular: each user works on a copy of their own,
// made once and then kept, even when the shipped one could be written (as by root).
TEST_F(DatabasePage, TheInstalledSampleIsCopiedOnceForTheUserAndTheCopyIsKept) {
    folder.runFrom("usr/bin");
    const std::string shipped = app::installedAssetFolder() + "/Samples/sample.mdb";
    ASSERT_EQ(shipped.rfind(folder.path(), 0), 0u) << shipped;
    std::filesystem::create_directories(std::filesystem::path(shipped).parent_path());
    testsupport::runScript(shipped, wizard_test::kShopScript);
    // A copy keeps the file's mode; the user must be able to write theirs whatever the shipped one's.
    std::filesystem::permissions(shipped, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                              std::filesystem::perms::others_read);
    const QByteArray original = contents(shipped);

    const std::string copy = userData.folder() + "/Rowsifter/Samples/sample.mdb";
    enterDatabase("");
    wizard::Form1& page = wizard::form1();
    press(page.PushButton1);
    EXPECT_EQ(page.Text1->text().toStdString(), copy);
    EXPECT_EQ(contents(copy), original);
    EXPECT_TRUE(QFile::permissions(QString::fromStdString(copy)) & QFileDevice::WriteOwner);

    // The user's work in the copy survives the next "Load Sample", and the shipped sample is never touched.
    press(page.PushButton3);
    ASSERT_TRUE(wizard::form2().isVisible());
    dropTable(copy, "Orders");
    wizard::form2().hide();
    page.show();
    page.Text1->clear();
    press(page.PushButton1);
    EXPECT_EQ(page.Text1->text().toStdString(), copy);
    EXPECT_EQ(tables(copy), std::vector<std::string>{"Customers"});
    EXPECT_EQ(contents(shipped), original);
    EXPECT_TRUE(desktop.reports().empty());
}

TEST_F(DatabasePage, ACopyOfTheSampleThatCannotBeMadeIsReportedAtLine100) {
    folder.runFrom("usr/bin");
    const std::string shipped = app::installedAssetFolder() + "/Samples/sample.mdb";
    std::filesystem::create_directories(std::filesystem::path(shipped).parent_path());
    testsupport::runScript(shipped, wizard_test::kShopScript);
    // A data home that is a file: no folder can be made below it, not even by root.
    const std::string blocked = folder.write("not-a-folder", "");
    qputenv("XDG_DATA_HOME", blocked.c_str());

    enterDatabase("/old/path.mdb");
    wizard::Form1& page = wizard::form1();
    press(page.PushButton1);
    ASSERT_EQ(reported("Form1.PushButton1_Click"), std::vector<int>{100});
    EXPECT_NE(desktop.reports()[0].description.find(blocked), std::string::npos) << desktop.reports()[0].description;
    EXPECT_EQ(page.Text1->text(), "/old/path.mdb");
    EXPECT_TRUE(page.isVisible());
}

TEST_F(DatabasePage, BrowseAsksWithTheDesignedDialogAndKeepsTheChoice) {
    enterDatabase("/old/path.mdb");
    wizard::Form1& page = wizard::form1();

    press(page.PushButton5); // cancelled
    ASSERT_EQ(desktop.dialogs.size(), 1u);
    const app::FileDialogRequest& asked = desktop.dialogs[0];
    EXPECT_EQ(asked.title, "Select Access Database");
    EXPECT_EQ(asked.flags, 0x280001ul);
    EXPECT_EQ(asked.fileName, "");
    // The three designed entries first; then SQLite files and all files, which Linux users also have.
    EXPECT_EQ(asked.filter, "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
                            "Microsoft 2007 Database (*.accdb)|*.accdb|SQLite Databases (*.sqlite,*.sqlite3,*.db3)|"
                            "*.sqlite;*.sqlite3;*.db3|All Files (*)|*|");
    EXPECT_EQ(page.Text1->text(), "/old/path.mdb");
    EXPECT_EQ(app::SettingsStore::read(app::kDatabaseKey), "/old/path.mdb");

    desktop.chosenFiles.push_back("/data/my shop.accdb");
    press(page.PushButton5);
    EXPECT_EQ(page.Text1->text(), "/data/my shop.accdb");
    EXPECT_EQ(app::SettingsStore::read(app::kDatabaseKey), "/data/my shop.accdb");
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(DatabasePage, HelpOfEveryPageShowsItsTextAndChangesNothing) {
    const std::string path = shop();
    reachOutputPage(path, "Customers", {"LastName"});
    struct Case {
        QPushButton* button;
        const char* text;
    };
    const Case cases[] = {
        {wizard::form1().PushButton4, "This program compares all rows with one another to find duplicate rows. "
                                      "This program does not find duplicate columns."},
        {wizard::form3().PushButton4,
         "If the chosen table contains an ID (autonumber) column already, make sure it starts at 1 and moves forward "
         "consecutively such as 1 2 3 4 5 6... If it does not start at 1, delete this column from the table using "
         "Access."},
        {wizard::form4().PushButton1, "You are about to create a new table with duplicates records (rows) removed "
                                      "except for the first. Please choose a name for this table."},
    };
    for (const Case& c : cases) {
        desktop.boxes.clear();
        c.button->click(); // the pages are hidden but for the last; the handler is what counts here
        ASSERT_EQ(desktop.boxes.size(), 1u) << c.text;
        EXPECT_EQ(desktop.boxes[0].text, c.text);
        EXPECT_EQ(desktop.boxes[0].title, app::applicationTitle());
        EXPECT_EQ(desktop.boxes[0].buttons, app::Buttons::Ok);
        EXPECT_EQ(desktop.boxes[0].icon, app::Icon::None);
    }
    EXPECT_TRUE(wizard::form4().isVisible());
    EXPECT_EQ(wizard::form4().Text1->text(), "Customers2");
}

TEST_F(DatabasePage, NextWithAMissingFileDoesNothingAndSaysNothing) {
    for (const std::string& path : {std::string(), folder.path() + "/absent.mdb"}) {
        openDatabase(path);
        EXPECT_TRUE(wizard::form1().isVisible()) << path;
        EXPECT_FALSE(wizard::isLoaded(2)) << path;
    }
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(DatabasePage, AFileThatCannotBeOpenedIsReportedAtLine100AndThePageStays) {
    const std::string locked = makeDb("locked.mdb", "CREATE TABLE t(a TEXT);", "right");
    const std::string junk = folder.write("junk.mdb", "this is not a database at all, just some text");
    struct Case {
        std::string path, password, mentions;
    };
    // A folder has a modification time, so it passes the go test and fails as a database.
    // A FIFO is refused as a device is, without being opened: a read of it would wait for a writer.
    const std::string fifo = folder.path() + "/pipe.mdb";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Case cases[] = {{locked, "wrong", "password"},
                          {locked, "", "password"},
                          {junk, "", "junk.mdb"},
                          {folder.path(), "", folder.path()},
                          {fifo, "", "'" + fifo + "' is not a database file."}};
    for (const Case& c : cases) {
        desktop.boxes.clear();
        openDatabase(c.path, c.password);
        ASSERT_EQ(reported("Form1.PushButton3_Click"), std::vector<int>{100}) << c.path << " / " << c.password;
        EXPECT_NE(desktop.reports()[0].description.find(c.mentions), std::string::npos)
            << desktop.reports()[0].description;
        EXPECT_EQ(desktop.boxes.size(), 1u);
        EXPECT_TRUE(wizard::form1().isVisible());
        EXPECT_FALSE(wizard::isLoaded(2) && wizard::form2().isVisible());
    }
    // The right password goes on to the table page.
    openDatabase(locked, "right");
    EXPECT_TRUE(wizard::form2().isVisible());
    EXPECT_EQ(entries(wizard::form2().List1), QStringList{"t"});
}

// A real Access file cannot be written here. "Next >" offers a SQLite copy beside it: "No" changes nothing;
// "Yes" makes the copy, puts its path in the box and goes on with it; the next time the earlier copy is
// offered again, and declining it makes a second copy. The Access file is never changed.
TEST_F(DatabasePage, ARealAccessFileIsCopiedIntoSqliteWhenTheUserAgrees) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    const std::string access = folder.path() + "/nwind.mdb";
    std::filesystem::copy_file(data / "nwind.mdb", access);
    auto digest = [&] {
        QFile f(QString::fromStdString(access));
        f.open(QIODevice::ReadOnly);
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    };
    const QByteArray before = digest();
    const std::string copy = folder.path() + "/nwind.sqlite";

    openDatabase(access); // the fake desktop answers No
    ASSERT_EQ(messageTexts().size(), 1u);
    EXPECT_EQ(messageTexts()[0], "'nwind.mdb' is a Microsoft Access database. Rowsifter can read it but cannot write "
                                 "into it on this system. Copy its tables into a new SQLite database 'nwind.sqlite' "
                                 "in the same folder and continue with the copy?");
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_TRUE(wizard::form1().isVisible());
    EXPECT_EQ(wizard::form1().Text1->text().toStdString(), access);

    desktop.answers = {app::Answer::Yes};
    press(wizard::form1().PushButton3);
    EXPECT_TRUE(desktop.reports().empty());
    ASSERT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(wizard::form1().Text1->text().toStdString(), copy);
    EXPECT_EQ(app::SettingsStore::read(app::kDatabaseKey), copy);
    ASSERT_TRUE(wizard::form2().isVisible());
    EXPECT_TRUE(entries(wizard::form2().List1).contains("Orders"));
    EXPECT_EQ(wizard::form1().windowTitle(), "Rowsifter");

    // Back again with the Access file: the earlier copy is offered; No makes a second one.
    press(wizard::form2().PushButton2);
    wizard::form1().Text1->setText(QString::fromStdString(access));
    desktop.answers = {app::Answer::No};
    press(wizard::form1().PushButton3);
    EXPECT_NE(messageTexts().back().find("was made earlier: '" + copy + "'"), std::string::npos) << messageTexts().back();
    EXPECT_TRUE(std::filesystem::exists(folder.path() + "/nwind (2).sqlite"));
    EXPECT_EQ(digest(), before);
}

// The road from the Access file to a de-duplicated table in its copy.
TEST_F(DatabasePage, TheRoadFromAnAccessFileEndsInItsCopy) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    const std::string access = folder.path() + "/nwind.mdb";
    std::filesystem::copy_file(data / "nwind.mdb", access);
    desktop.answers = {app::Answer::Yes};
    openDatabase(access);
    chooseTable("Orders");
    chooseField("CustomerID");
    press(wizard::form3().PushButton3);
    press(wizard::form4().PushButton4);
    EXPECT_TRUE(desktop.reports().empty()) << desktop.reports()[0].description;
    const std::string copy = folder.path() + "/nwind.sqlite";
    const auto kept = rows(copy, "SELECT [CustomerID] FROM [Orders2]");
    EXPECT_EQ(kept.size(), 89u) << "one order for each customer who ordered";
    EXPECT_EQ(std::set<std::string>(kept.begin(), kept.end()).size(), kept.size());
}

TEST_F(DatabasePage, NextListsTheOrdinaryTablesAndSelectsTheFirst) {
    openDatabase(shop());
    wizard::Form2& tables = wizard::form2();
    EXPECT_TRUE(tables.isVisible());
    EXPECT_FALSE(wizard::form1().isVisible());
    EXPECT_EQ(entries(tables.List1), (QStringList{"Customers", "Orders"})); // the view is not a table
    EXPECT_EQ(tables.List1->currentRow(), 0);
    EXPECT_TRUE(tables.List1->item(0)->isSelected());
    EXPECT_TRUE(desktop.boxes.empty());

    // A database without tables still advances, with an empty list.
    press(tables.PushButton2);
    openDatabase(makeDb("empty.mdb", "CREATE VIEW v AS SELECT 1 AS one;"));
    EXPECT_TRUE(tables.isVisible());
    EXPECT_EQ(tables.List1->count(), 0);
    EXPECT_TRUE(tables.List1->selectedItems().isEmpty());
}

TEST_F(DatabasePage, GoingBackAndChangingThePathListsOnlyTheSecondDatabase) {
    openDatabase(shop());
    press(wizard::form2().PushButton2);
    EXPECT_TRUE(wizard::form1().isVisible());
    EXPECT_FALSE(wizard::form2().isVisible());
    openDatabase(makeDb("second.mdb", "CREATE TABLE Invoices(n INTEGER); CREATE TABLE Payments(n INTEGER);"));
    EXPECT_EQ(entries(wizard::form2().List1), (QStringList{"Invoices", "Payments"}));
}

TEST_F(DatabasePage, TheTableListIsWhatIsListedExactlyAndAMissingFileLeavesItAlone) {
    openDatabase(shop());
    QListWidget* list = wizard::form2().List1;
    EXPECT_TRUE(wizard::IsTableListed("Orders"));
    EXPECT_FALSE(wizard::IsTableListed("orders"));
    EXPECT_FALSE(wizard::IsTableListed("Orders "));
    EXPECT_FALSE(wizard::IsTableListed("BerlinCustomers"));

    wizard::AddTablesToAccessListbox(list, folder.path() + "/absent.mdb", "");
    EXPECT_EQ(entries(list), (QStringList{"Customers", "Orders"}));
    EXPECT_TRUE(desktop.boxes.empty());

    // The file exists but is no database: reported at 102, and the list is left empty.
    wizard::form1().Text1->setText(QString::fromStdString(folder.write("bad.mdb", "not a database, not at all")));
    wizard::AddTablesToAccessListbox(list, wizard::form1().Text1->text().toStdString(), "");
    EXPECT_EQ(reported("Access.AddTablesToAccessListbox"), std::vector<int>{102});
    EXPECT_EQ(list->count(), 0);
}

TEST_F(DatabasePage, FocusingABoxSelectsItsWholeText) {
    enterDatabase("/some/where.mdb", "hunter2");
    wizard::Form1& page = wizard::form1();
    QApplication::setActiveWindow(&page);
    for (QLineEdit* box : {page.Text2, page.Text1}) {
        box->deselect();
        box->setCursorPosition(3);
        box->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
        EXPECT_EQ(box->selectionStart(), 0) << box->objectName().toStdString();
        EXPECT_EQ(box->selectedText(), box->text()) << box->objectName().toStdString();
    }
}

} // namespace
