// The whole road of one run, driven as the user drives it: start-up on a remembered database, a table,
// fields chosen by button and by double-click, the output page's proposal, the run, the new table in
// the file, and the settings that the next start finds.
#include "app/settings_store.h"
#include "page_fixture.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

namespace {

using wizard_test::PageTest;

class Road : public PageTest {};

TEST_F(Road, FromStartUpToTheNewTable) {
    const std::string path = makeDb("mail.accdb", R"(
        CREATE TABLE Contacts (Email TEXT, Name TEXT, Town TEXT, Visits INTEGER);
        INSERT INTO Contacts VALUES
            ('a@x.org', 'Ann', 'York', 5), ('b@x.org', 'Bob', NULL, 2), ('a@x.org', 'Ann', 'Leeds', 9),
            ('c@x.org', 'Cy', '', 7), ('b@x.org', 'Bob', '', 1), ('A@x.org', 'Ann', 'York', 3),
            ('c@x.org', 'Cy, Jr', NULL, 4), ('Jr, c@x.org', 'Cy', NULL, 6);
        CREATE TABLE Other (n INTEGER);)",
                                    "s3cret");
    app::SettingsStore::save(app::kDatabaseKey, path);
    app::SettingsStore::save(app::kPasswordKey, "s3cret");

    wizard::startUp();
    wizard::Form2& tablePage = wizard::form2();
    ASSERT_TRUE(tablePage.isVisible()) << "a remembered database starts on the table page";
    EXPECT_FALSE(wizard::form1().isVisible());
    EXPECT_EQ(entries(tablePage.List1), (QStringList{"Contacts", "Other"}));

    chooseTable("Contacts");
    wizard::Form3& fields = wizard::form3();
    EXPECT_EQ(fields.DataGrid1->model()->rowCount(), 8);
    chooseField("Name");
    doubleClickEntry(fields.List1, 0); // Email
    EXPECT_EQ(entries(fields.List2), (QStringList{"Name", "Email"}));
    press(fields.PushButton3);

    wizard::Form4& output = wizard::form4();
    ASSERT_TRUE(output.isVisible());
    EXPECT_EQ(output.Text1->text(), "Contacts2");
    press(output.PushButton4);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Done."});
    EXPECT_TRUE(desktop.reports().empty());

    // Visits, the table's only whole-number column, is the identifier: of each (Name, Email) pair the
    // row with the fewest visits stays, with all of its values. Letter case makes another address, and a
    // ", " inside a value does not make two different rows one.
    const std::vector<std::string> expected{
        "b@x.org|Bob||1",     "A@x.org|Ann|York|3",      "c@x.org|Cy, Jr|<null>|4",
        "a@x.org|Ann|York|5", "Jr, c@x.org|Cy|<null>|6", "c@x.org|Cy||7",
    };
    EXPECT_EQ(rows(path, "SELECT * FROM [Contacts2] ORDER BY [Visits]", "s3cret"), expected);
    EXPECT_EQ(rows(path, "SELECT * FROM [Contacts]", "s3cret").size(), 8u) << "the chosen table is only read";
    EXPECT_EQ(tables(path, "s3cret"), (std::vector<std::string>{"Contacts", "Other", "Contacts2"}));
    EXPECT_EQ(output.DataGrid1->model()->rowCount(), 6);
    EXPECT_EQ(output.DataGrid1->model()->index(4, 2).data().toString(), "") << "Null shows empty";

    // The next start finds the same database and password.
    EXPECT_EQ(app::SettingsStore::read(app::kDatabaseKey), path);
    EXPECT_EQ(app::SettingsStore::read(app::kPasswordKey), "s3cret");
}

// Names written by another program in Latin-1 are not UTF-8: the lists show them readably, and the table and
// field chosen reach the database byte for byte.
TEST_F(Road, NamesThatAreNotUtf8ReachTheDatabaseUnchanged) {
    const std::string table = "caf\xe9", field = "n\xe4me";
    const std::string path = makeDb("latin.db", "CREATE TABLE \"" + table + "\" (id INTEGER, \"" + field +
                                                    "\" TEXT); INSERT INTO \"" + table +
                                                    "\" VALUES (1, 'x'), (2, 'x'), (3, 'y');");
    openDatabase(path);
    EXPECT_EQ(entries(wizard::form2().List1), QStringList{QString::fromUtf8("caf\u00e9")});
    chooseTable(QString::fromUtf8("caf\u00e9"));
    chooseField(QString::fromUtf8("n\u00e4me"));
    press(wizard::form3().PushButton3);
    wizard::Form4& output = wizard::form4();
    output.Text1->setText("Result");
    press(output.PushButton4);
    EXPECT_TRUE(desktop.reports().empty()) << desktop.reports()[0].description;
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Done."});
    EXPECT_EQ(rows(path, "SELECT * FROM [Result]"), (std::vector<std::string>{"1|x", "3|y"}));
}

} // namespace
